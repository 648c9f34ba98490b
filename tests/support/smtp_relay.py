"""A mail relay for the service's tests, on the aiosmtpd server of the Debian package.

Run as: python3 -m aiosmtpd -n -l 127.0.0.1:PORT -c smtp_relay.RecordingHandler FOLDER

Each message the relay accepts becomes a file in FOLDER: its envelope ("MAIL FROM x",
one "RCPT TO y" line per recipient), an empty line, then the message as it arrived
(dot-stuffing already undone by the server). Recipients decide what the relay does:
a local part that begins with "refuse" is refused for good (550), one that begins with
"later" for now (451), and the first message to one that begins with "vanish" ends the
relay's process in the middle of the message, before it answers (a relay that dies
mid-run; the file FOLDER/vanished remembers it, so the relay started again takes it).
"""
import os
import time
from pathlib import Path


class RecordingHandler:
    def __init__(self, folder):
        self.folder = Path(folder)
        self.count = 0

    @classmethod
    def from_cli(cls, parser, *args):
        if len(args) != 1:
            parser.error("RecordingHandler takes the folder for the messages")
        return cls(args[0])

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        local = address.split("@")[0]
        if local.startswith("refuse"):
            return "550 5.1.1 <%s>: no such mailbox here" % address
        if local.startswith("later"):
            return "451 4.2.0 <%s>: mailbox busy, try again later" % address
        envelope.rcpt_tos.append(address)
        return "250 2.1.5 OK"

    async def handle_DATA(self, server, session, envelope):
        vanished = self.folder / "vanished"
        if any(r.split("@")[0].startswith("vanish") for r in envelope.rcpt_tos):
            if not vanished.exists():
                vanished.touch()
                os._exit(3)
        self.count += 1
        # Named by arrival, also across a relay started again.
        name = self.folder / ("%020d-%d.msg" % (time.time_ns(), self.count))
        envelope_lines = ["MAIL FROM %s" % envelope.mail_from]
        envelope_lines += ["RCPT TO %s" % r for r in envelope.rcpt_tos]
        head = ("\n".join(envelope_lines) + "\n\n").encode()
        temporary = name.with_suffix(".tmp")
        temporary.write_bytes(head + envelope.original_content)
        os.replace(temporary, name)
        return "250 2.0.0 queued as %d" % self.count
