// A test public-key infrastructure for signing generated downloads: keys made with OpenSSL while
// the tests run, never shipped with the program nor trusted by it. Written from the regulation's
// certificate and signature formats, independently of the verifier, so that each checks the other.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct evp_pkey_st;

namespace ddd::gen {

using KeyIdentifier = std::array<std::uint8_t, 8>;

// A first-generation RSA key pair (1024 bits, exponent 65537) and the identifier it is known by.
struct RsaTestKey {
    std::shared_ptr<evp_pkey_st> key;
    KeyIdentifier id{};
};

RsaTestKey makeRsaTestKey(const KeyIdentifier& id);

// The 144-byte root key layout: identifier 8, modulus 128, exponent 8.
std::vector<std::uint8_t> rsaRootKeyFile(const RsaTestKey& key);

// A 194-byte first-generation certificate of `subject`, signed by `signer` with message recovery.
// `authority` is the CAR written into it; it is the signer's identifier unless a test lies.
std::vector<std::uint8_t> gen1Certificate(const RsaTestKey& subject, const RsaTestKey& signer,
                                          std::uint32_t endOfValidity, const KeyIdentifier& authority);
std::vector<std::uint8_t> gen1Certificate(const RsaTestKey& subject, const RsaTestKey& signer,
                                          std::uint32_t endOfValidity);

// RSA PKCS#1 v1.5 with SHA-1, 128 bytes.
std::vector<std::uint8_t> gen1Sign(const RsaTestKey& key, std::span<const std::uint8_t> data);

// What a first-generation card signs with: its key and the two certificates it hands out.
struct Gen1Signing {
    RsaTestKey card;
    std::vector<std::uint8_t> cardCertificate;
    std::vector<std::uint8_t> memberStateCertificate;
};

// A complete chain: root → member state → card, fresh keys each call.
struct Gen1TestPki {
    RsaTestKey root;
    RsaTestKey memberState;
    Gen1Signing card;
};
Gen1TestPki makeGen1TestPki(std::uint8_t nation = 0x0D);

// ---- Second generation ----------------------------------------------------------------------

// An ECC key pair on one of the curves the tachograph system allows ("brainpoolP256r1",
// "brainpoolP384r1", "brainpoolP512r1", "prime256v1", "secp384r1", "secp521r1").
struct EcTestKey {
    std::shared_ptr<evp_pkey_st> key;
    KeyIdentifier id{};
    std::string curve;
};

EcTestKey makeEcTestKey(const std::string& curve, const KeyIdentifier& id);

// A card-verifiable certificate of `subject` signed by `signer`; `authority` is the CAR written.
std::vector<std::uint8_t> gen2Certificate(const EcTestKey& subject, const EcTestKey& signer, std::uint32_t effective,
                                          std::uint32_t expiration, const KeyIdentifier& authority);
std::vector<std::uint8_t> gen2Certificate(const EcTestKey& subject, const EcTestKey& signer, std::uint32_t effective,
                                          std::uint32_t expiration);

// ECDSA with the hash the key size calls for, as plain r ‖ s.
std::vector<std::uint8_t> gen2Sign(const EcTestKey& key, std::span<const std::uint8_t> data);

// What a second-generation card signs with and hands out. An empty link certificate is not written.
struct Gen2Signing {
    EcTestKey cardSign;
    std::vector<std::uint8_t> cardMaCertificate;
    std::vector<std::uint8_t> cardSignCertificate;
    std::vector<std::uint8_t> memberStateCertificate;
    std::vector<std::uint8_t> linkCertificate;
};

// Root (with its self-signed certificate) → member state → card, fresh keys on `curve`.
struct Gen2TestPki {
    EcTestKey root;
    std::vector<std::uint8_t> rootCertificate;
    EcTestKey memberState;
    EcTestKey cardMa;
    Gen2Signing card;
};
Gen2TestPki makeGen2TestPki(const std::string& curve = "brainpoolP256r1", std::uint8_t nation = 0x0D);

} // namespace ddd::gen
