#include "service/store/pg_schema.h"

#include <iterator>

#include "platform/text_format.h"

namespace nvx::service {
namespace {

// The same meaning as the embedded store's schema of the same version, in the shared
// database's terms: sequences for the ids, bytes for names (with a folded key where a
// name is compared without letter case).
constexpr const char* kMigrations[] = {
    // 1: accounts, their folders and documents.
    R"sql(
CREATE TABLE accounts(
  key bigserial PRIMARY KEY,
  id bytea NOT NULL,
  id_key bytea NOT NULL UNIQUE,
  password_digest bytea NOT NULL,
  quota bigint NOT NULL,
  used bigint NOT NULL DEFAULT 0,
  encrypt boolean NOT NULL DEFAULT false,
  state text NOT NULL DEFAULT 'active',
  email bytea NOT NULL DEFAULT ''::bytea,
  admin_email bytea NOT NULL DEFAULT ''::bytea);
CREATE TABLE folders(
  id bigserial PRIMARY KEY,
  account bigint NOT NULL REFERENCES accounts(key),
  parent bigint NOT NULL,
  name bytea NOT NULL,
  name_key bytea NOT NULL,
  access text NOT NULL,
  compressed boolean NOT NULL DEFAULT false,
  UNIQUE(account, parent, name_key));
CREATE TABLE documents(
  vid bigserial PRIMARY KEY,
  folder bigint NOT NULL REFERENCES folders(id),
  name bytea NOT NULL,
  size bigint NOT NULL,
  full_size bigint NOT NULL,
  date_stamp text NOT NULL,
  digest bytea NOT NULL,
  complete boolean NOT NULL,
  blob text NOT NULL,
  UNIQUE(folder, name));
)sql",
    // 2: the digest state of an incomplete document; the claims of uploads in flight and
    // the writers of documents, each owned by a front end; the front ends' numbers.
    R"sql(
ALTER TABLE documents ADD COLUMN digest_state bytea;
CREATE TABLE upload_claims(
  id bigserial PRIMARY KEY,
  account bigint NOT NULL REFERENCES accounts(key),
  front_end bigint NOT NULL,
  bytes bigint NOT NULL,
  expires timestamptz NOT NULL);
CREATE INDEX upload_claims_account ON upload_claims(account);
CREATE TABLE document_writers(
  vid bigint PRIMARY KEY,
  front_end bigint NOT NULL,
  token bigint NOT NULL);
CREATE SEQUENCE front_end_numbers;
)sql",
    // 3: which front end delivers a waiting message of the outbox. Claims live only as
    // long as their front end's session: after a crash of the database server there is
    // none left to honour, so their tables are not written to its log, and a change of
    // them alone does not wait for the log's flush.
    R"sql(
ALTER TABLE upload_claims SET UNLOGGED;
ALTER TABLE document_writers SET UNLOGGED;
CREATE UNLOGGED TABLE outbox_claims(
  message text PRIMARY KEY,
  front_end bigint NOT NULL,
  expires timestamptz NOT NULL);
)sql",
    // 4: the bytes of small documents, kept here instead of a blob file each; they go with
    // the document that names them.
    //
    // front_end_lives: whether the front end numbered `p_front_end` still holds its
    // advisory lock of class `p_lock_class` (PgFrontEndLives).
    //
    // The claim of room for an upload and the commit of what it wrote, each in one
    // statement (PgStore::ClaimRoom, PgStore::CommitUpload), so that the account's row lock
    // is held for the statement and its flush, not for a round trip to the front end per
    // step.
    //
    // claim_room: the claim `p_id` (0: a new one of front end `p_front_end`, its lease
    // `p_lease_seconds`) set to `p_change` bytes when they fit in the quota less the space
    // used less the account's other claims; the claim's id, or no row when they do not fit
    // or the account is gone. Claims whose lease ran out or whose front end ended (its
    // advisory lock of class `p_front_end_lock` is gone) are removed when the claim would
    // not fit beside them. An account's claims are made one at a time under an advisory
    // lock (class `p_claim_lock`, the account's key), not under the account's row lock,
    // which a commit holds until its log is on the disk: the next uploads claim their room
    // meanwhile and their commits can go together. A commit that ends meanwhile is counted
    // twice at worst (in the space used and in its claim, which goes after it), never not
    // at all. The claim writes only unlogged rows and commits without waiting for the
    // log's flush, which PostgreSQL would otherwise wait for even then.
    //
    // claim_update sets claim `p_id` to `p_bytes` (and, unless `p_lease_seconds` is null,
    // its lease from now); claim_drop removes it. Neither waits for the log's flush: a
    // transaction that writes only unlogged rows still waits for it unless told not to.
    //
    // commit_upload keeps `p_inline` (when not null) under the document's blob name.
    // Outcomes: 0 stored, 1 not found (the account, the folder, or a folder above it
    // hidden), 2 the folder is not writable, 3 the document replaced changed meanwhile, 4
    // over the quota. The first row carries the outcome, the new
    // version id and the change of the space used; one more row follows for each blob the
    // new document takes the place of.
    R"sql(
CREATE TABLE inline_blobs(
  name text PRIMARY KEY,
  bytes bytea NOT NULL);
CREATE FUNCTION inline_blob_gone() RETURNS trigger
  LANGUAGE plpgsql AS $$
BEGIN
  DELETE FROM inline_blobs WHERE name = old.blob;
  RETURN NULL;
END
$$;
CREATE TRIGGER inline_blob_gone AFTER DELETE ON documents
  FOR EACH ROW WHEN (old.blob LIKE '%.inline') EXECUTE FUNCTION inline_blob_gone();
CREATE FUNCTION front_end_lives(p_front_end int8, p_lock_class int4) RETURNS boolean
  LANGUAGE sql STABLE AS $$
SELECT EXISTS (SELECT 1 FROM pg_locks l WHERE l.locktype = 'advisory' AND l.granted
  AND l.database = (SELECT oid FROM pg_database WHERE datname = current_database())
  AND l.classid = p_lock_class AND l.objsubid = 2 AND l.objid::int8 = p_front_end)
$$;
CREATE FUNCTION claim_room(p_account int8, p_id int8, p_change int8, p_front_end int8,
                           p_lease_seconds int8, p_front_end_lock int4, p_claim_lock int4)
  RETURNS SETOF int8
  LANGUAGE plpgsql AS $$
DECLARE
  account_quota int8;
  account_used int8;
  others int8;
  claim int8;
BEGIN
  PERFORM set_config('synchronous_commit', 'off', true);
  PERFORM pg_advisory_xact_lock(p_claim_lock, (p_account % 2147483648)::int4);
  SELECT a.quota, a.used INTO account_quota, account_used FROM accounts a
    WHERE a.key = p_account;
  IF NOT FOUND THEN
    RETURN;
  END IF;
  SELECT coalesce(sum(greatest(c.bytes, 0)), 0)::int8 INTO others FROM upload_claims c
    WHERE c.account = p_account AND c.id <> p_id;
  -- Compared as differences so that no sum of large figures can wrap.
  IF p_change > account_quota - account_used - others THEN
    -- Claims whose lease ran out or whose front end ended hold nothing any more: looked
    -- for only when they may be in the way.
    DELETE FROM upload_claims c WHERE c.account = p_account
      AND (c.expires < now() OR NOT front_end_lives(c.front_end, p_front_end_lock));
    SELECT coalesce(sum(greatest(c.bytes, 0)), 0)::int8 INTO others FROM upload_claims c
      WHERE c.account = p_account AND c.id <> p_id;
    IF p_change > account_quota - account_used - others THEN
      RETURN;
    END IF;
  END IF;
  IF p_id = 0 THEN
    INSERT INTO upload_claims AS c(account, front_end, bytes, expires)
      VALUES(p_account, p_front_end, p_change, now() + make_interval(secs => p_lease_seconds))
      RETURNING c.id INTO claim;
  ELSE
    UPDATE upload_claims c SET bytes = p_change WHERE c.id = p_id RETURNING c.id INTO claim;
  END IF;
  IF claim IS NOT NULL THEN
    RETURN NEXT claim;
  END IF;
END
$$;
CREATE FUNCTION claim_update(p_id int8, p_bytes int8, p_lease_seconds int8) RETURNS void
  LANGUAGE plpgsql AS $$
BEGIN
  PERFORM set_config('synchronous_commit', 'off', true);
  UPDATE upload_claims c SET bytes = p_bytes,
      expires = CASE WHEN p_lease_seconds IS NULL THEN c.expires
                     ELSE now() + make_interval(secs => p_lease_seconds) END
    WHERE c.id = p_id;
END
$$;
CREATE FUNCTION claim_drop(p_id int8) RETURNS void
  LANGUAGE plpgsql AS $$
BEGIN
  PERFORM set_config('synchronous_commit', 'off', true);
  DELETE FROM upload_claims c WHERE c.id = p_id;
END
$$;
CREATE FUNCTION commit_upload(
    p_account int8, p_folder int8, p_name bytea, p_size int8, p_full_size int8,
    p_date_stamp text, p_digest bytea, p_complete boolean, p_blob text, p_digest_state bytea,
    p_vid int8, p_replaces_vid int8, p_replaces_blob text, p_check_quota boolean,
    p_walk_max int8, p_inline bytea)
  RETURNS TABLE(outcome int8, new_vid int8, change int8, removed_blob text)
  LANGUAGE plpgsql AS $$
DECLARE
  account_quota int8;
  account_used int8;
  folder_access text;
  hidden boolean;
  gone_blobs text[];
BEGIN
  new_vid := 0;
  change := 0;
  removed_blob := NULL;
  SELECT a.quota, a.used INTO account_quota, account_used FROM accounts a
    WHERE a.key = p_account FOR UPDATE;
  IF NOT FOUND THEN
    outcome := 1; RETURN NEXT; RETURN;
  END IF;
  SELECT f.access INTO folder_access FROM folders f
    WHERE f.id = p_folder AND f.account = p_account;
  IF NOT FOUND THEN
    outcome := 1; RETURN NEXT; RETURN;
  END IF;
  WITH RECURSIVE up(id, parent, access, depth) AS (
      SELECT f.id, f.parent, f.access, 0::int8 FROM folders f
        WHERE f.id = p_folder AND f.account = p_account
      UNION ALL
      SELECT f.id, f.parent, f.access, up.depth + 1 FROM folders f JOIN up ON f.id = up.parent
        WHERE up.parent <> 0 AND up.depth < p_walk_max)
    SELECT coalesce(bool_or(up.access = 'N'), false) INTO hidden FROM up;
  IF hidden THEN
    outcome := 1; RETURN NEXT; RETURN;
  END IF;
  IF folder_access <> 'W' THEN
    outcome := 2; RETURN NEXT; RETURN;
  END IF;
  IF p_replaces_vid <> 0 AND NOT EXISTS (
      SELECT 1 FROM documents d JOIN folders f ON d.folder = f.id
        WHERE d.vid = p_replaces_vid AND f.account = p_account AND d.blob = p_replaces_blob) THEN
    outcome := 3; RETURN NEXT; RETURN;
  END IF;
  SELECT p_size - coalesce(sum(d.size), 0) INTO change FROM documents d
    WHERE (d.folder = p_folder AND d.name = p_name) OR d.vid = p_replaces_vid;
  IF p_check_quota AND change > 0 AND account_used + change > account_quota THEN
    outcome := 4; change := 0; RETURN NEXT; RETURN;
  END IF;
  WITH gone AS (
      DELETE FROM documents d
        WHERE (d.folder = p_folder AND d.name = p_name) OR d.vid = p_replaces_vid
        RETURNING d.blob)
    SELECT array_agg(gone.blob) INTO gone_blobs FROM gone;
  INSERT INTO documents AS d(vid, folder, name, size, full_size, date_stamp, digest, complete,
                             blob, digest_state)
    VALUES(coalesce(p_vid, nextval('documents_vid_seq')), p_folder, p_name, p_size,
           p_full_size, p_date_stamp, p_digest, p_complete, p_blob, p_digest_state)
    RETURNING d.vid INTO new_vid;
  IF p_inline IS NOT NULL THEN
    INSERT INTO inline_blobs(name, bytes) VALUES(p_blob, p_inline);
  END IF;
  IF change <> 0 THEN
    UPDATE accounts a SET used = greatest(0, a.used + change) WHERE a.key = p_account;
  END IF;
  outcome := 0;
  RETURN NEXT;
  FOREACH removed_blob IN ARRAY coalesce(gone_blobs, '{}'::text[]) LOOP
    IF removed_blob <> p_blob THEN
      RETURN NEXT;
    END IF;
  END LOOP;
END
$$;
)sql",
};
constexpr int kVersion = static_cast<int>(std::size(kMigrations));

}  // namespace

int PgSchemaVersion() {
  return kVersion;
}

std::string PgFrontEndLives(const std::string& column) {
  return StrFormat("front_end_lives(%s, %d)", column.c_str(), kPgFrontEndLock);
}

bool MigratePgSchema(PgConnection& db, std::string* error) {
  for (;;) {
    PgTransaction transaction(db);
    bool ready =
        transaction.ok() &&
        db.Query("SELECT pg_advisory_xact_lock($1, 0)", PgParams().Int(kPgMigrationLock)).ok() &&
        db.Execute("CREATE TABLE IF NOT EXISTS schema_version(version integer NOT NULL)");
    PgResult version;
    if (ready) version = db.Query("SELECT coalesce(max(version), 0)::int8 FROM schema_version");
    if (!ready || !version.ok()) {
      *error = db.error_text();
      return false;
    }
    int64_t current = version.Int(0, 0);
    if (current > kVersion) {
      *error = StrFormat("the database has schema version %lld; this nvxserver knows up to %d",
                         static_cast<long long>(current), kVersion);
      return false;
    }
    if (current == kVersion) return true;
    if (!db.Execute(kMigrations[current]) || !db.Query("DELETE FROM schema_version").ok() ||
        !db.Query("INSERT INTO schema_version(version) VALUES($1)", PgParams().Int(current + 1))
             .ok() ||
        !transaction.Commit()) {
      *error = db.error_text();
      return false;
    }
  }
}

}  // namespace nvx::service
