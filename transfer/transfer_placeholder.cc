// Filled by the digest, Base64 and cipher sources.
