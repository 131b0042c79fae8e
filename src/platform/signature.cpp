#include "signature.h"

#include <QList>

#include <sodium.h>

namespace lm {

namespace {

std::optional<QByteArray> base64(const QByteArray& text, qsizetype size) {
    const auto decoded =
        QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != size)
        return std::nullopt;
    return decoded.decoded;
}

const unsigned char* bytes(const QByteArray& a) {
    return reinterpret_cast<const unsigned char*>(a.constData());
}

} // namespace

std::optional<QString> verifyMinisign(const QByteArray& message, const QByteArray& signatureFile,
                                      const QString& publicKey) {
    if (signatureFile.size() > kMaxSignatureBytes || sodium_init() < 0)
        return std::nullopt;
    // Public key: "Ed", key id (8), Ed25519 key (32).
    const std::optional<QByteArray> key = base64(publicKey.toLatin1(), 2 + 8 + 32);
    if (!key || !key->startsWith("Ed"))
        return std::nullopt;
    const QByteArray keyId = key->mid(2, 8);
    const QByteArray pk = key->mid(10);

    QList<QByteArray> lines = signatureFile.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    static const QByteArray kUntrusted = "untrusted comment: ";
    static const QByteArray kTrusted = "trusted comment: ";
    if (lines.size() < 4 || !lines[0].startsWith(kUntrusted) || !lines[2].startsWith(kTrusted))
        return std::nullopt;
    // Signature: algorithm ("Ed" legacy, "ED" pre-hashed), key id (8), signature (64).
    const std::optional<QByteArray> sig = base64(lines[1], 2 + 8 + 64);
    const std::optional<QByteArray> global = base64(lines[3], 64);
    if (!sig || !global || sig->mid(2, 8) != keyId)
        return std::nullopt;
    const QByteArray algorithm = sig->left(2);
    const QByteArray signature = sig->mid(10);

    QByteArray signedBytes;
    if (algorithm == "ED") {
        signedBytes.resize(crypto_generichash_BYTES_MAX);
        if (crypto_generichash(reinterpret_cast<unsigned char*>(signedBytes.data()),
                               crypto_generichash_BYTES_MAX, bytes(message),
                               static_cast<unsigned long long>(message.size()), nullptr, 0) != 0)
            return std::nullopt;
    } else if (algorithm == "Ed") {
        signedBytes = message;
    } else {
        return std::nullopt;
    }
    if (crypto_sign_verify_detached(bytes(signature), bytes(signedBytes),
                                    static_cast<unsigned long long>(signedBytes.size()),
                                    bytes(pk)) != 0)
        return std::nullopt;
    const QByteArray comment = lines[2].mid(kTrusted.size());
    const QByteArray globalSigned = signature + comment;
    if (crypto_sign_verify_detached(bytes(*global), bytes(globalSigned),
                                    static_cast<unsigned long long>(globalSigned.size()),
                                    bytes(pk)) != 0)
        return std::nullopt;
    return QString::fromUtf8(comment);
}

} // namespace lm
