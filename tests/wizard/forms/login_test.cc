// The Login page: every result of the login check, empty fields, an unavailable check
// library, invalid server rows, and the Notify box, which decides the NotifyUser lines of
// the sections.
#include <filesystem>

#include <QLineEdit>

#include "tests/wizard/forms/wizard_fixture.h"
#include "wizard/core/login_library.h"
#include "wizard/forms/login_check.h"

namespace nvx::test {
namespace {

class LoginTest : public WizardTest {};

TEST_F(LoginTest, EveryLoginResultEitherStaysWithItsMessageOrGoesOn) {
  struct Case {
    std::optional<int> result;
    const char* message;  // "" when the login is accepted
  } cases[] = {
      {0, ""},
      {1, ""},
      {2, "Login ID invalid, please try again"},
      {3, "Password invalid, please try again"},
      {4, "Your account is disabled, please login using a web browser to reactivate"},
      {5,
       "Your password has expired, please login using a web browser to change your "
       "password"},
      {6, ""},
      {-1, ""},
      {-4,
       "The service's certificate is not trusted, so your ID and password were not sent. If the "
       "service uses a certificate authority of its own, name its certificate file under "
       "\"Certificate authority\"; otherwise check the server address."},
      {-5,
       "The service's certificate was issued for another name, so your ID and password were not "
       "sent. Check the server address: it must be the name the service's certificate was "
       "issued for."},
      {-6,
       "The service's certificate has expired, so your ID and password were not sent. Check "
       "this computer's date and time; if they are right, the service's certificate must be "
       "renewed."},
      {-7,
       "The service does not speak TLS, so your ID and password were not sent. Check the "
       "server address and its port."},
      {std::nullopt, "Login check unavailable: libnvxapib.so: cannot open shared object file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result ? std::to_string(*c.result) : "unavailable");
    desktop_.ClearRecord();
    login_results_ = {c.result};
    StartWizard();
    PassSplashAndLogin("bob", "pw");
    if (*c.message == '\0') {
      ExpectPage("ChooseType");
      EXPECT_TRUE(desktop_.messages().isEmpty());
      EXPECT_NE(ReadApp("config.new").find("NVXuser bob\r\n"), std::string::npos);
      EXPECT_EQ(state_.login_id, "bob");
    } else {
      ExpectPage("Login");
      EXPECT_EQ(desktop_.messages(), QStringList{c.message});
    }
    EXPECT_EQ(desktop_.busy_count(), 0);
  }
}

// A login the service could not check is kept only when the user says so.
TEST_F(LoginTest, AnUncheckedLoginIsSavedOnlyWhenTheUserSaysSo) {
  for (const int result : {-2, -3, -100}) {
    for (const wizard::Answer answer : {wizard::Answer::kNo, wizard::Answer::kYes}) {
      SCOPED_TRACE(std::to_string(result) + (answer == wizard::Answer::kYes ? " yes" : " no"));
      std::filesystem::remove(AppFile("config.new"));
      desktop_.ClearRecord();
      desktop_.QueueAnswer(answer);
      login_results_ = {result};
      StartWizard();
      PassSplashAndLogin("bob", "pw");
      ASSERT_EQ(desktop_.questions().size(), 1u);
      EXPECT_EQ(desktop_.questions()[0].text,
                wizard::LoginNotCheckedQuestion(*wizard::LoginNotCheckedReason(result)));
      EXPECT_EQ(desktop_.questions()[0].buttons, wizard::Buttons::kYesNo);
      if (answer == wizard::Answer::kYes) {
        ExpectPage("ChooseType");
        EXPECT_EQ(state_.password, "pw");
      } else {
        ExpectPage("Login");
        EXPECT_FALSE(std::filesystem::exists(AppFile("config.new")));
      }
      EXPECT_EQ(desktop_.busy_count(), 0);
    }
  }
}

TEST_F(LoginTest, EmptyIdOrPasswordIsRefusedWithoutAskingTheService) {
  StartWizard();
  Click("Continue");
  for (auto [id, password] : {std::pair{"", "pw"}, std::pair{"bob", ""}, std::pair{"", ""}}) {
    Type("NVX_ID", id);
    Type("NVX_password", password);
    Click("Login");
    ExpectPage("Login");
  }
  Type("NVX_ID", "bob");
  Type("NVX_password", "pw");
  const QString many_servers = QStringList(40, "backup.example").join(',');  // 600 characters
  for (auto [address, ca_file] : {std::pair<QString, QString>{"nas example", ""},
                                  {"nas:0", ""},
                                  {many_servers, ""},
                                  {"", "/no/such/ca.pem"}}) {
    Type("ServerAddress", address);
    Type("ServerCA", ca_file);
    Click("Login");
    ExpectPage("Login");
  }
  EXPECT_EQ(desktop_.messages().mid(3),
            QStringList({wizard::kServerAddressInvalidMessage, wizard::kServerAddressInvalidMessage,
                         wizard::kServerSettingTooLongMessage,
                         "The certificate authority file cannot be read: /no/such/ca.pem"}));
  EXPECT_EQ(desktop_.messages().mid(0, 3), QStringList(3, "Please enter an ID and Password"));
  EXPECT_TRUE(login_calls_.empty());
  EXPECT_EQ(start_up_->current_page()->findChild<QLineEdit*>("NVX_password")->echoMode(),
            QLineEdit::Password);
}

// Also: a new configuration asks for a secure connection, and writes what was checked.
TEST_F(LoginTest, ClearingNotifyLeavesNotifyUserOnlyInTheConfigurationBlock) {
  MakeFile(home_.File("Documents/a.txt"), 10);
  StartWizard();
  Click("Continue");
  EXPECT_TRUE(start_up_->current_page()->findChild<QCheckBox*>("Notify")->isChecked());
  EXPECT_TRUE(start_up_->current_page()->findChild<QCheckBox*>("SecureConnection")->isChecked());
  SetChecked("Notify", false);
  Type("NVX_ID", "bob");
  Type("NVX_password", "pw");
  Click("Login");
  Click("Continue");  // ChooseType
  Click("Continue");  // mydocuments
  Click("BackupLater");
  ExpectPage("scheduletask");  // the last page; the configuration is complete before it
  std::string config = ReadApp("config.txt");
  ASSERT_TRUE(login_calls_.back().servers.startsWith("https://"));
  EXPECT_NE(config.find("NVXServer " + login_calls_.back().servers.toStdString() + "\r\n"),
            std::string::npos);
  size_t block = config.find("#Configuration and associated files");
  ASSERT_NE(block, std::string::npos);
  EXPECT_EQ(config.find("NotifyUser"), config.find("NotifyUser", block)) << config;
  EXPECT_TRUE(desktop_.started().empty());  // backup later
}

}  // namespace
}  // namespace nvx::test
