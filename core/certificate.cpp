#include "core/certificate.h"

#include <openssl/bn.h>
#include <openssl/ecdsa.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string_view>

#include "core/byte_reader.h"

namespace ddd {
namespace {

struct OpenSslFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
    void operator()(BIGNUM* p) const { BN_free(p); }
    void operator()(OSSL_PARAM_BLD* p) const { OSSL_PARAM_BLD_free(p); }
    void operator()(OSSL_PARAM* p) const { OSSL_PARAM_free(p); }
    void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, OpenSslFree>;

// Certificate content: profile 1, CAR 8, holder authorisation 7, end of validity 4, CHR 8,
// modulus 128, exponent 8. The first 106 bytes travel inside the signature.
constexpr std::size_t kContentSize = 164;
constexpr std::size_t kRecoveredPartSize = 106;
constexpr std::size_t kClearPartSize = kContentSize - kRecoveredPartSize;
constexpr std::size_t kSha1Size = 20;
constexpr std::uint8_t kProfileIdentifier = 0x01;

Owned<EVP_PKEY> rsaKey(const RsaPublicKey& key) {
    Owned<BIGNUM> n(BN_bin2bn(key.modulus.data(), static_cast<int>(key.modulus.size()), nullptr));
    Owned<BIGNUM> e(BN_bin2bn(key.exponent.data(), static_cast<int>(key.exponent.size()), nullptr));
    Owned<OSSL_PARAM_BLD> build(OSSL_PARAM_BLD_new());
    if (!n || !e || !build || !OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) ||
        !OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_E, e.get())) {
        return nullptr;
    }
    Owned<OSSL_PARAM> params(OSSL_PARAM_BLD_to_param(build.get()));
    Owned<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* pkey = nullptr;
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) <= 0 ||
        EVP_PKEY_fromdata(ctx.get(), &pkey, EVP_PKEY_PUBLIC_KEY, params.get()) <= 0) {
        return nullptr;
    }
    return Owned<EVP_PKEY>(pkey);
}

// The raw public RSA operation, s^e mod n, padded to the modulus size.
std::optional<std::vector<std::uint8_t>> rsaPublicOperation(Bytes input, const RsaPublicKey& key) {
    Owned<EVP_PKEY> pkey = rsaKey(key);
    if (!pkey) return std::nullopt;
    Owned<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new(pkey.get(), nullptr));
    if (!ctx || EVP_PKEY_verify_recover_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_NO_PADDING) <= 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out(key.modulus.size());
    std::size_t size = out.size();
    if (EVP_PKEY_verify_recover(ctx.get(), out.data(), &size, input.data(), input.size()) <= 0) return std::nullopt;
    if (size != out.size()) return std::nullopt;
    return out;
}

std::array<std::uint8_t, kSha1Size> sha1(Bytes a, Bytes b) {
    std::array<std::uint8_t, kSha1Size> digest{};
    Owned<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
    unsigned size = 0;
    if (ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) > 0 && EVP_DigestUpdate(ctx.get(), a.data(), a.size()) > 0 &&
        EVP_DigestUpdate(ctx.get(), b.data(), b.size()) > 0) {
        EVP_DigestFinal_ex(ctx.get(), digest.data(), &size);
    }
    return digest;
}

template <std::size_t N>
std::array<std::uint8_t, N> readArray(ByteReader& r) {
    std::array<std::uint8_t, N> out{};
    const auto bytes = r.bytes(N);
    if (bytes.size() == N) std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

std::vector<std::uint8_t> readVector(ByteReader& r, std::size_t n) {
    const auto bytes = r.bytes(n);
    return {bytes.begin(), bytes.end()};
}

// The curves the second generation allows, by the object identifier a certificate names them with.
struct AllowedCurve {
    std::array<std::uint8_t, 9> oid;
    std::size_t oidSize;
    const char* name;  // OpenSSL's group name
    std::size_t fieldBytes;
    const EVP_MD* (*hash)();
};

const AllowedCurve kAllowedCurves[] = {
    {{0x2B, 0x24, 0x03, 0x03, 0x02, 0x08, 0x01, 0x01, 0x07}, 9, "brainpoolP256r1", 32, EVP_sha256},
    {{0x2B, 0x24, 0x03, 0x03, 0x02, 0x08, 0x01, 0x01, 0x0B}, 9, "brainpoolP384r1", 48, EVP_sha384},
    {{0x2B, 0x24, 0x03, 0x03, 0x02, 0x08, 0x01, 0x01, 0x0D}, 9, "brainpoolP512r1", 64, EVP_sha512},
    {{0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07}, 8, "prime256v1", 32, EVP_sha256},
    {{0x2B, 0x81, 0x04, 0x00, 0x22}, 5, "secp384r1", 48, EVP_sha384},
    {{0x2B, 0x81, 0x04, 0x00, 0x23}, 5, "secp521r1", 66, EVP_sha512},
};

const AllowedCurve* curveByOid(Bytes oid) {
    for (const AllowedCurve& c : kAllowedCurves) {
        if (oid.size() == c.oidSize && std::equal(oid.begin(), oid.end(), c.oid.begin())) return &c;
    }
    return nullptr;
}

const AllowedCurve* curveByName(std::string_view name) {
    for (const AllowedCurve& c : kAllowedCurves) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

// One BER-TLV data object: its tag (one or two bytes), its value and its whole encoding.
struct DataObject {
    std::uint32_t tag = 0;
    Bytes value;
    Bytes encoded;
};

// Reads the next data object; nothing when the tag or length is malformed or runs past the end.
std::optional<DataObject> readDataObject(ByteReader& r, Bytes whole) {
    const std::size_t start = r.position();
    std::uint32_t tag = r.u8();
    if ((tag & 0x1F) == 0x1F) {
        const std::uint8_t second = r.u8();
        if (second & 0x80) return std::nullopt;  // tags longer than two bytes do not occur here
        tag = tag << 8 | second;
    }
    std::size_t length = r.u8();
    if (length == 0x81) {
        length = r.u8();
    } else if (length == 0x82) {
        length = r.u16();
    } else if (length >= 0x80) {  // 0x80 is the indefinite length, which DER forbids
        return std::nullopt;
    }
    const Bytes value = r.bytes(length);
    if (r.failed()) return std::nullopt;
    return DataObject{tag, value, whole.subspan(start, r.position() - start)};
}

std::string tagText(std::uint32_t tag) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02X", tag);
    return buffer;
}

// Reads the object that must come next, with the exact value size when `size` is given.
std::optional<DataObject> expectObject(ByteReader& r, Bytes whole, std::uint32_t tag, std::optional<std::size_t> size,
                                       std::string& error) {
    auto object = readDataObject(r, whole);
    if (!object) {
        error = "malformed data object where tag " + tagText(tag) + " was expected";
    } else if (object->tag != tag) {
        error = "tag " + tagText(object->tag) + " where tag " + tagText(tag) + " was expected";
        object.reset();
    } else if (size && object->value.size() != *size) {
        error = "tag " + tagText(tag) + " holds " + std::to_string(object->value.size()) + " bytes, expected " +
                std::to_string(*size);
        object.reset();
    }
    return object;
}

template <std::size_t N>
std::array<std::uint8_t, N> toArray(Bytes value) {
    std::array<std::uint8_t, N> out{};
    std::copy_n(value.begin(), std::min(N, value.size()), out.begin());
    return out;
}

std::uint32_t toTime(Bytes value) {
    ByteReader r(value);
    return r.u32();
}

Owned<EVP_PKEY> ecKey(const AllowedCurve& curve, const std::vector<std::uint8_t>& point) {
    Owned<OSSL_PARAM_BLD> build(OSSL_PARAM_BLD_new());
    if (!build || !OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, curve.name, 0) ||
        !OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size())) {
        return nullptr;
    }
    Owned<OSSL_PARAM> params(OSSL_PARAM_BLD_to_param(build.get()));
    Owned<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* pkey = nullptr;
    if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) <= 0 ||
        EVP_PKEY_fromdata(ctx.get(), &pkey, EVP_PKEY_PUBLIC_KEY, params.get()) <= 0) {
        return nullptr;
    }
    return Owned<EVP_PKEY>(pkey);
}

// The plain r ‖ s form turned into the DER structure OpenSSL verifies.
std::optional<std::vector<std::uint8_t>> derSignature(Bytes plain, std::size_t fieldBytes) {
    if (plain.size() != 2 * fieldBytes) return std::nullopt;
    Owned<ECDSA_SIG> sig(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(plain.data(), static_cast<int>(fieldBytes), nullptr);
    BIGNUM* s = BN_bin2bn(plain.data() + fieldBytes, static_cast<int>(fieldBytes), nullptr);
    if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return std::nullopt;
    }
    const int size = i2d_ECDSA_SIG(sig.get(), nullptr);
    if (size <= 0) return std::nullopt;
    std::vector<std::uint8_t> der(static_cast<std::size_t>(size));
    unsigned char* out = der.data();
    if (i2d_ECDSA_SIG(sig.get(), &out) != size) return std::nullopt;
    return der;
}

}  // namespace

Gen2CertificateParse parseGen2Certificate(Bytes data) {
    Gen2CertificateParse parse;
    std::string& error = parse.error;
    ByteReader outer(data);
    const auto certificate = expectObject(outer, data, 0x7F21, std::nullopt, error);
    if (!certificate) return parse;
    if (outer.remaining() != 0) {
        error = std::to_string(outer.remaining()) + " bytes after the certificate";
        return parse;
    }
    ByteReader inner(certificate->value);
    const auto body = expectObject(inner, certificate->value, 0x7F4E, std::nullopt, error);
    if (!body) return parse;
    const auto signature = expectObject(inner, certificate->value, 0x5F37, std::nullopt, error);
    if (!signature) return parse;
    if (inner.remaining() != 0) {
        error = "data after the signature";
        return parse;
    }

    ByteReader fields(body->value);
    const Bytes b = body->value;
    const auto profile = expectObject(fields, b, 0x5F29, 1, error);
    if (!profile) return parse;
    const auto authority = expectObject(fields, b, 0x42, 8, error);
    if (!authority) return parse;
    const auto authorisation = expectObject(fields, b, 0x5F4C, 7, error);
    if (!authorisation) return parse;
    const auto publicKey = expectObject(fields, b, 0x7F49, std::nullopt, error);
    if (!publicKey) return parse;
    const auto holder = expectObject(fields, b, 0x5F20, 8, error);
    if (!holder) return parse;
    const auto effective = expectObject(fields, b, 0x5F25, 4, error);
    if (!effective) return parse;
    const auto expiration = expectObject(fields, b, 0x5F24, 4, error);
    if (!expiration) return parse;
    if (fields.remaining() != 0) {
        error = "data after the expiration date";
        return parse;
    }

    ByteReader keyFields(publicKey->value);
    const auto oid = expectObject(keyFields, publicKey->value, 0x06, std::nullopt, error);
    if (!oid) return parse;
    const auto point = expectObject(keyFields, publicKey->value, 0x86, std::nullopt, error);
    if (!point) return parse;
    if (keyFields.remaining() != 0) {
        error = "data after the public point";
        return parse;
    }
    const AllowedCurve* curve = curveByOid(oid->value);
    if (!curve) {
        error = "curve is not one the tachograph system allows";
        return parse;
    }
    if (point->value.size() != 1 + 2 * curve->fieldBytes || point->value[0] != 0x04) {
        error = "public point is not an uncompressed point of " + std::string(curve->name);
        return parse;
    }

    Gen2Certificate cert;
    cert.profile = profile->value[0];
    cert.authority = toArray<8>(authority->value);
    cert.holderAuthorisation = toArray<7>(authorisation->value);
    cert.curve = curve->name;
    cert.publicPoint.assign(point->value.begin(), point->value.end());
    cert.holder = toArray<8>(holder->value);
    cert.effectiveDate = toTime(effective->value);
    cert.expirationDate = toTime(expiration->value);
    cert.body.assign(body->encoded.begin(), body->encoded.end());
    cert.signature.assign(signature->value.begin(), signature->value.end());
    parse.certificate = std::move(cert);
    return parse;
}

void Gen2SignatureKey::Free::operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }

Gen2SignatureKey::Gen2SignatureKey(const Gen2Certificate& signer) {
    const AllowedCurve* curve = curveByName(signer.curve);
    if (!curve) return;
    key_.reset(ecKey(*curve, signer.publicPoint).release());
    hash_ = curve->hash();
    fieldBytes_ = curve->fieldBytes;
}

bool Gen2SignatureKey::verifies(Bytes data, Bytes signature) const {
    if (!key_) return false;
    const auto der = derSignature(signature, fieldBytes_);
    Owned<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
    if (!der || !ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, hash_, nullptr, key_.get()) <= 0) return false;
    return EVP_DigestVerify(ctx.get(), der->data(), der->size(), data.data(), data.size()) == 1;
}

bool verifyGen2Signature(Bytes data, Bytes signature, const Gen2Certificate& signer) {
    return Gen2SignatureKey(signer).verifies(data, signature);
}

bool verifyGen2Certificate(const Gen2Certificate& certificate, const Gen2Certificate& signer) {
    return verifyGen2Signature(certificate.body, certificate.signature, signer);
}

std::string keyIdText(const KeyId& id) {
    std::string text;
    char digits[3];
    for (std::uint8_t b : id) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        text += digits;
    }
    return text;
}

std::optional<RsaPublicKey> parseGen1RootKey(Bytes data) {
    if (data.size() != kGen1RootKeySize) return std::nullopt;
    ByteReader r(data);
    RsaPublicKey key;
    key.id = readArray<8>(r);
    key.modulus = readVector(r, 128);
    key.exponent = readVector(r, 8);
    return key;
}

std::optional<KeyId> gen1CertificateAuthority(Bytes certificate) {
    if (certificate.size() != kGen1CertificateSize) return std::nullopt;
    ByteReader r(certificate);
    r.skip(kGen1SignatureSize + kClearPartSize);
    return readArray<8>(r);
}

Gen1CertificateCheck openGen1Certificate(Bytes certificate, const RsaPublicKey& signer) {
    Gen1CertificateCheck check;
    if (certificate.size() != kGen1CertificateSize) {
        check.error = "certificate has " + std::to_string(certificate.size()) + " bytes, expected " +
                      std::to_string(kGen1CertificateSize);
        return check;
    }
    ByteReader parts(certificate);
    const Bytes signature = parts.bytes(kGen1SignatureSize);
    const Bytes clearPart = parts.bytes(kClearPartSize);
    const KeyId namedAuthority = readArray<8>(parts);

    const auto recovered = rsaPublicOperation(signature, signer);
    if (!recovered) {
        check.error = "signature is not a value below the signer's modulus";
        return check;
    }
    ByteReader opened(*recovered);
    const std::uint8_t header = opened.u8();
    const Bytes recoveredPart = opened.bytes(kRecoveredPartSize);
    const auto hash = readArray<kSha1Size>(opened);
    const std::uint8_t trailer = opened.u8();
    if (opened.failed() || header != 0x6A || trailer != 0xBC) {
        check.error = "signature does not open with the signer's key";
        return check;
    }
    if (sha1(recoveredPart, clearPart) != hash) {
        check.error = "recovered hash does not match the certificate content";
        return check;
    }

    std::vector<std::uint8_t> content(kContentSize);
    std::copy(recoveredPart.begin(), recoveredPart.end(), content.begin());
    std::copy(clearPart.begin(), clearPart.end(), content.begin() + kRecoveredPartSize);
    ByteReader r(content);
    const std::uint8_t profile = r.u8();
    Gen1Certificate cert;
    cert.authority = readArray<8>(r);
    cert.holderAuthorisation = readArray<7>(r);
    cert.endOfValidity = r.u32();
    cert.key.id = readArray<8>(r);
    cert.key.modulus = readVector(r, 128);
    cert.key.exponent = readVector(r, 8);
    if (profile != kProfileIdentifier) {
        check.error = "unknown certificate profile " + std::to_string(profile);
        return check;
    }
    if (cert.authority != namedAuthority) {
        check.error = "signed content names authority " + keyIdText(cert.authority) + ", the certificate " +
                      keyIdText(namedAuthority);
        return check;
    }
    check.certificate = std::move(cert);
    return check;
}

bool verifyGen1Signature(Bytes data, Bytes signature, const RsaPublicKey& key) {
    if (signature.size() != key.modulus.size()) return false;
    Owned<EVP_PKEY> pkey = rsaKey(key);
    Owned<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
    if (!pkey || !ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha1(), nullptr, pkey.get()) <= 0) return false;
    return EVP_DigestVerify(ctx.get(), signature.data(), signature.size(), data.data(), data.size()) == 1;
}

std::string sha256Hex(Bytes data) {
    std::array<std::uint8_t, 32> digest{};
    unsigned size = 0;
    if (EVP_Digest(data.data(), data.size(), digest.data(), &size, EVP_sha256(), nullptr) <= 0) return {};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : digest) text += {kHex[byte >> 4], kHex[byte & 15]};
    return text;
}

}  // namespace ddd
