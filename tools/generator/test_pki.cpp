// Certificates with message recovery: the signer's private RSA operation over
// 0x6A ‖ first 106 content bytes ‖ SHA-1(content) ‖ 0xBC, followed by the remaining 58 content
// bytes and the CAR. Content: profile 1, CAR 8, holder authorisation 7, end of validity 4, CHR 8,
// modulus 128, exponent 8.
#include "tools/generator/test_pki.h"

#include "tools/generator/byte_writer.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/ecdsa.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <stdexcept>

namespace ddd::gen {
namespace {

constexpr std::size_t kModulusSize = 128;
constexpr std::size_t kRecoveredContent = 106;
// Tachograph application, card holder.
constexpr std::array<std::uint8_t, 7> kHolderAuthorisation{0xFF, 0x53, 0x4D, 0x52, 0x44, 0x54, 0x00};

void require(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test PKI: ") + what + " failed");
}

std::vector<std::uint8_t> keyNumber(const RsaTestKey& key, const char* name, std::size_t width) {
    BIGNUM* number = nullptr;
    require(EVP_PKEY_get_bn_param(key.key.get(), name, &number) == 1, "reading the public key");
    std::vector<std::uint8_t> out(width);
    const int written = BN_bn2binpad(number, out.data(), static_cast<int>(width));
    BN_free(number);
    require(written == static_cast<int>(width), "writing the public key");
    return out;
}

std::vector<std::uint8_t> sha1(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> digest(20);
    unsigned size = 0;
    require(EVP_Digest(data.data(), data.size(), digest.data(), &size, EVP_sha1(), nullptr) == 1, "SHA-1");
    return digest;
}

std::vector<std::uint8_t> rsaPrivateOperation(const RsaTestKey& key, std::span<const std::uint8_t> block) {
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key.key.get(), nullptr),
                                                                   EVP_PKEY_CTX_free);
    require(ctx && EVP_PKEY_sign_init(ctx.get()) == 1 && EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_NO_PADDING) == 1,
            "raw RSA set-up");
    std::vector<std::uint8_t> out(kModulusSize);
    std::size_t size = out.size();
    require(EVP_PKEY_sign(ctx.get(), out.data(), &size, block.data(), block.size()) == 1 && size == kModulusSize,
            "raw RSA signing");
    return out;
}

// Object identifiers and field sizes of the allowed curves, and the hash each key size calls for.
struct Curve {
    const char* name;
    std::vector<std::uint8_t> oid;
    std::size_t fieldBytes;
    const EVP_MD* (*hash)();
};

const Curve& curveNamed(const std::string& name) {
    static const Curve curves[] = {
        {"brainpoolP256r1", {0x2B, 0x24, 0x03, 0x03, 0x02, 0x08, 0x01, 0x01, 0x07}, 32, EVP_sha256},
        {"brainpoolP384r1", {0x2B, 0x24, 0x03, 0x03, 0x02, 0x08, 0x01, 0x01, 0x0B}, 48, EVP_sha384},
        {"brainpoolP512r1", {0x2B, 0x24, 0x03, 0x03, 0x02, 0x08, 0x01, 0x01, 0x0D}, 64, EVP_sha512},
        {"prime256v1", {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07}, 32, EVP_sha256},
        {"secp384r1", {0x2B, 0x81, 0x04, 0x00, 0x22}, 48, EVP_sha384},
        {"secp521r1", {0x2B, 0x81, 0x04, 0x00, 0x23}, 66, EVP_sha512},
    };
    for (const Curve& c : curves) {
        if (name == c.name) return c;
    }
    throw std::invalid_argument("test PKI: curve " + name + " is not allowed");
}

// A BER-TLV data object: tag of one or two bytes, definite length.
std::vector<std::uint8_t> dataObject(std::uint16_t tag, std::span<const std::uint8_t> value) {
    ByteWriter w;
    if (tag > 0xFF) w.u8(tag >> 8);
    w.u8(tag & 0xFF);
    if (value.size() < 0x80) {
        w.u8(value.size());
    } else if (value.size() <= 0xFF) {
        w.u8(0x81);
        w.u8(value.size());
    } else {
        w.u8(0x82);
        w.u16(value.size());
    }
    w.bytes(value);
    return w.take();
}

std::vector<std::uint8_t> concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<std::uint8_t> timeReal(std::uint32_t t) {
    return {static_cast<std::uint8_t>(t >> 24), static_cast<std::uint8_t>(t >> 16), static_cast<std::uint8_t>(t >> 8),
            static_cast<std::uint8_t>(t)};
}

std::vector<std::uint8_t> publicPoint(const EcTestKey& key) {
    std::vector<std::uint8_t> point(1 + 2 * 66);
    std::size_t size = 0;
    require(EVP_PKEY_get_octet_string_param(key.key.get(), OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point.data(), point.size(),
                                            &size) == 1,
            "reading the public point");
    point.resize(size);
    return point;
}

} // namespace

EcTestKey makeEcTestKey(const std::string& curve, const KeyIdentifier& id) {
    curveNamed(curve);
    EVP_PKEY* key = EVP_EC_gen(curve.c_str());
    require(key != nullptr, "EC key generation");
    return {std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free), id, curve};
}

std::vector<std::uint8_t> gen2Certificate(const EcTestKey& subject, const EcTestKey& signer, std::uint32_t effective,
                                          std::uint32_t expiration, const KeyIdentifier& authority) {
    const Curve& curve = curveNamed(subject.curve);
    const std::vector<std::uint8_t> body = dataObject(
        0x7F4E, concat({dataObject(0x5F29, std::vector<std::uint8_t>{0x00}), dataObject(0x42, authority),
                        dataObject(0x5F4C, kHolderAuthorisation),
                        dataObject(0x7F49, concat({dataObject(0x06, curve.oid), dataObject(0x86, publicPoint(subject))})),
                        dataObject(0x5F20, subject.id), dataObject(0x5F25, timeReal(effective)),
                        dataObject(0x5F24, timeReal(expiration))}));
    return dataObject(0x7F21, concat({body, dataObject(0x5F37, gen2Sign(signer, body))}));
}

std::vector<std::uint8_t> gen2Certificate(const EcTestKey& subject, const EcTestKey& signer, std::uint32_t effective,
                                          std::uint32_t expiration) {
    return gen2Certificate(subject, signer, effective, expiration, signer.id);
}

std::vector<std::uint8_t> gen2Sign(const EcTestKey& key, std::span<const std::uint8_t> data) {
    const Curve& curve = curveNamed(key.curve);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    require(ctx && EVP_DigestSignInit(ctx.get(), nullptr, curve.hash(), nullptr, key.key.get()) == 1, "ECDSA set-up");
    std::size_t size = 0;
    require(EVP_DigestSign(ctx.get(), nullptr, &size, data.data(), data.size()) == 1, "ECDSA size");
    std::vector<std::uint8_t> der(size);
    require(EVP_DigestSign(ctx.get(), der.data(), &size, data.data(), data.size()) == 1, "ECDSA signing");
    const unsigned char* in = der.data();
    std::unique_ptr<ECDSA_SIG, decltype(&ECDSA_SIG_free)> sig(d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(size)),
                                                            ECDSA_SIG_free);
    require(sig != nullptr, "reading the ECDSA signature");
    std::vector<std::uint8_t> plain(2 * curve.fieldBytes);
    const int width = static_cast<int>(curve.fieldBytes);
    require(BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), plain.data(), width) == width &&
                BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), plain.data() + curve.fieldBytes, width) == width,
            "writing r and s");
    return plain;
}

Gen2TestPki makeGen2TestPki(const std::string& curve, std::uint8_t nation) {
    // Valid from 2023-01-01 until 2035-01-01 (TimeReal).
    constexpr std::uint32_t kFrom = 1672531200u;
    constexpr std::uint32_t kUntil = 2051222400u;
    Gen2TestPki pki;
    pki.root = makeEcTestKey(curve, {0xFD, 'T', 'S', 'T', 0x02, 0xFF, 0xFF, 0x01});
    pki.rootCertificate = gen2Certificate(pki.root, pki.root, kFrom, kUntil);
    pki.memberState = makeEcTestKey(curve, {nation, 'T', 'S', 'T', 0x02, 0x00, 0x00, 0x01});
    pki.cardMa = makeEcTestKey(curve, {0x00, 0x12, 0x34, nation, 0x02, 0x26, 0x01, 0xA1});
    pki.card.cardSign = makeEcTestKey(curve, {0x00, 0x12, 0x34, nation, 0x02, 0x26, 0x01, 0xA2});
    pki.card.memberStateCertificate = gen2Certificate(pki.memberState, pki.root, kFrom, kUntil);
    pki.card.cardMaCertificate = gen2Certificate(pki.cardMa, pki.memberState, kFrom, kUntil);
    pki.card.cardSignCertificate = gen2Certificate(pki.card.cardSign, pki.memberState, kFrom, kUntil);
    return pki;
}

RsaTestKey makeRsaTestKey(const KeyIdentifier& id) {
    EVP_PKEY* key = EVP_RSA_gen(1024);
    require(key != nullptr, "RSA key generation");
    return {std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free), id};
}

std::vector<std::uint8_t> rsaRootKeyFile(const RsaTestKey& key) {
    ByteWriter w;
    w.bytes(key.id);
    w.bytes(keyNumber(key, OSSL_PKEY_PARAM_RSA_N, kModulusSize));
    w.bytes(keyNumber(key, OSSL_PKEY_PARAM_RSA_E, 8));
    return w.take();
}

std::vector<std::uint8_t> gen1Certificate(const RsaTestKey& subject, const RsaTestKey& signer,
                                          std::uint32_t endOfValidity, const KeyIdentifier& authority) {
    ByteWriter content;
    content.u8(0x01);
    content.bytes(authority);
    content.bytes(kHolderAuthorisation);
    content.u32(endOfValidity);
    const std::vector<std::uint8_t> key = rsaRootKeyFile(subject);
    content.bytes(key);
    const std::vector<std::uint8_t> c = content.take();

    std::vector<std::uint8_t> block{0x6A};
    block.insert(block.end(), c.begin(), c.begin() + kRecoveredContent);
    const std::vector<std::uint8_t> hash = sha1(c);
    block.insert(block.end(), hash.begin(), hash.end());
    block.push_back(0xBC);

    std::vector<std::uint8_t> certificate = rsaPrivateOperation(signer, block);
    certificate.insert(certificate.end(), c.begin() + kRecoveredContent, c.end());
    certificate.insert(certificate.end(), authority.begin(), authority.end());
    return certificate;
}

std::vector<std::uint8_t> gen1Certificate(const RsaTestKey& subject, const RsaTestKey& signer,
                                          std::uint32_t endOfValidity) {
    return gen1Certificate(subject, signer, endOfValidity, signer.id);
}

std::vector<std::uint8_t> gen1Sign(const RsaTestKey& key, std::span<const std::uint8_t> data) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    require(ctx && EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha1(), nullptr, key.key.get()) == 1, "signing set-up");
    std::vector<std::uint8_t> signature(kModulusSize);
    std::size_t size = signature.size();
    require(EVP_DigestSign(ctx.get(), signature.data(), &size, data.data(), data.size()) == 1 && size == kModulusSize,
            "signing");
    return signature;
}

Gen1TestPki makeGen1TestPki(std::uint8_t nation) {
    Gen1TestPki pki;
    pki.root = makeRsaTestKey({0xFD, 'T', 'S', 'T', 0x00, 0xFF, 0xFF, 0x01});
    pki.memberState = makeRsaTestKey({nation, 'T', 'S', 'T', 0x01, 0x00, 0x00, 0x01});
    pki.card.card = makeRsaTestKey({0x00, 0x12, 0x34, nation, 0x01, 0x26, 0x01, 0xA1});
    // Valid until 2035-01-01 (TimeReal).
    pki.card.memberStateCertificate = gen1Certificate(pki.memberState, pki.root, 2051222400u);
    pki.card.cardCertificate = gen1Certificate(pki.card.card, pki.memberState, 2051222400u);
    return pki;
}

} // namespace ddd::gen
