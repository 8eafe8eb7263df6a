#include "update/UpdateSignature.h"

#include <QFile>

#include <memory>
#include <openssl/evp.h>

namespace lb {

namespace {

constexpr int kKeyBytes = 32;
constexpr int kSignatureBytes = 64;

struct KeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

bool verifies(const QByteArray& key, const QByteArray& signature, const unsigned char* data,
              size_t size) {
    std::unique_ptr<EVP_PKEY, KeyFree> pkey(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(key.constData()),
        size_t(key.size())));
    std::unique_ptr<EVP_MD_CTX, ContextFree> ctx(EVP_MD_CTX_new());
    if (!pkey || !ctx ||
        EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1)
        return false;
    return EVP_DigestVerify(ctx.get(),
                            reinterpret_cast<const unsigned char*>(signature.constData()),
                            size_t(signature.size()), data, size) == 1;
}

} // namespace

QList<QByteArray> parseTrustedKeys(const QByteArray& text) {
    QList<QByteArray> keys;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const auto decoded =
            QByteArray::fromBase64Encoding(line, QByteArray::AbortOnBase64DecodingErrors);
        if (decoded && decoded.decoded.size() == kKeyBytes)
            keys << decoded.decoded;
    }
    return keys;
}

bool signedByTrustedKey(const QString& filePath, const QByteArray& signature,
                        const QList<QByteArray>& keys) {
    if (signature.size() != kSignatureBytes || keys.isEmpty())
        return false;
    QFile f(filePath);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    // Ed25519 signs the message whole: the archive is mapped, not read into memory.
    const qint64 size = f.size();
    const uchar* data = size > 0 ? f.map(0, size) : reinterpret_cast<const uchar*>("");
    if (!data)
        return false;
    for (const QByteArray& key : keys)
        if (verifies(key, signature, data, size_t(size)))
            return true;
    return false;
}

} // namespace lb
