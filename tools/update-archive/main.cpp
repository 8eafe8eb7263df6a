// make-update-archive [--sign KEYFILE] OUT SOURCE NAME [SOURCE NAME...]: writes a
// database update archive: each SOURCE stored as NAME (plain text), plus
// "un.pac" listing every NAME, so the updater enciphers them after unpacking.
// With --sign, OUT + ".sig" receives the archive's Ed25519 signature made
// with the private key in KEYFILE (PEM).
//
// make-update-archive --new-key PRIVATE PUBLIC: makes a key pair: the private
// key as PEM (readable by its owner only), the public key as the base64 line
// the program's data/update.pub holds.
#include "RarWriter.h"

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;

int usage() {
    std::fputs("usage: make-update-archive [--sign KEYFILE] OUT SOURCE NAME [SOURCE NAME...]\n"
               "       make-update-archive --new-key PRIVATE PUBLIC\n",
               stderr);
    return 2;
}

int fail(const std::string& what) {
    std::fprintf(stderr, "make-update-archive: %s\n", what.c_str());
    return 1;
}

bool readFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream data;
    data << in.rdbuf();
    bytes = data.str();
    return bool(in) || in.eof();
}

bool writeFile(const std::string& path, const std::string& bytes, mode_t mode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    ok = ::close(fd) == 0 && ok;
    return ok;
}

int newKey(const std::string& privatePath, const std::string& publicPath) {
    Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
    unsigned char raw[32];
    size_t rawLen = sizeof raw;
    if (!key || EVP_PKEY_get_raw_public_key(key.get(), raw, &rawLen) != 1 || rawLen != 32)
        return fail("cannot make a key");
    unsigned char b64[64];
    const int n = EVP_EncodeBlock(b64, raw, int(rawLen));
    // The private key is never readable by others, not even for a moment.
    const int fd = ::open(privatePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail("cannot create " + privatePath + " (it must not exist yet)");
    std::FILE* f = ::fdopen(fd, "w");
    if (!f) {
        ::close(fd);
        return fail("cannot write " + privatePath);
    }
    const bool written =
        PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
    if (std::fclose(f) != 0 || !written)
        return fail("cannot write " + privatePath);
    if (!writeFile(publicPath, std::string(reinterpret_cast<char*>(b64), size_t(n)) + "\n", 0644))
        return fail("cannot write " + publicPath);
    return 0;
}

int sign(const std::string& keyPath, const std::string& archivePath) {
    std::FILE* f = std::fopen(keyPath.c_str(), "r");
    if (!f)
        return fail("cannot read " + keyPath);
    Key key(PEM_read_PrivateKey(f, nullptr, nullptr, nullptr));
    std::fclose(f);
    if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_ED25519)
        return fail(keyPath + " holds no Ed25519 private key");
    std::string archive;
    if (!readFile(archivePath, archive))
        return fail("cannot read " + archivePath);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    unsigned char signature[64];
    size_t len = sizeof signature;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), signature, &len,
                       reinterpret_cast<const unsigned char*>(archive.data()),
                       archive.size()) != 1 ||
        len != sizeof signature)
        return fail("cannot sign " + archivePath);
    if (!writeFile(archivePath + ".sig", std::string(reinterpret_cast<char*>(signature), len),
                   0644))
        return fail("cannot write " + archivePath + ".sig");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int first = 1;
    std::string keyFile;
    if (argc > 1 && std::string(argv[1]) == "--new-key")
        return argc == 4 ? newKey(argv[2], argv[3]) : usage();
    if (argc > 2 && std::string(argv[1]) == "--sign") {
        keyFile = argv[2];
        first = 3;
    }
    if (argc - first < 3 || (argc - first) % 2 != 1)
        return usage();
    std::vector<rarwriter::RarEntry> entries;
    std::string list;
    for (int i = first + 1; i + 1 < argc; i += 2) {
        rarwriter::RarEntry e;
        if (!readFile(argv[i], e.data))
            return fail(std::string("cannot read ") + argv[i]);
        e.name = argv[i + 1];
        entries.push_back(e);
        list += e.name + "\r\n";
    }
    rarwriter::RarEntry pac;
    pac.name = "un.pac";
    pac.data = list;
    entries.push_back(pac);
    if (!rarwriter::writeRarArchive(argv[first], entries))
        return fail(std::string("cannot write ") + argv[first]);
    return keyFile.empty() ? 0 : sign(keyFile, argv[first]);
}
