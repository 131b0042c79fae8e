#pragma once
// Signatures of the maker's releases, in the format of the minisign tool: Ed25519 over the
// file itself (legacy) or over its BLAKE2b-512 hash (pre-hashed), and a second signature
// that binds the trusted comment to the first.  Every primitive is libsodium's.

#include <QByteArray>
#include <QString>

#include <optional>

namespace lm {

// A signature file is a few hundred bytes; a larger one is refused unread.
inline constexpr qsizetype kMaxSignatureBytes = 1024;

// The trusted comment of `signatureFile` when it is a valid signature of `message` by
// `publicKey` (the base64 line of a minisign public key) with the same key id, and its
// trusted comment is signed too; nothing otherwise.
std::optional<QString> verifyMinisign(const QByteArray& message, const QByteArray& signatureFile,
                                      const QString& publicKey);

} // namespace lm
