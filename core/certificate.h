// Certificates of the tachograph public-key infrastructure as a card download carries them, and
// the signature checks made with the keys they hold. The RSA and hash work is OpenSSL's.
#pragma once

#include <openssl/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/card_efs.h"

namespace ddd {

// Key identifier of the first generation: a certificate's CAR or CHR, a root key's identifier.
using KeyId = std::array<std::uint8_t, 8>;

std::string keyIdText(const KeyId& id);  // upper-case hex, "FD45432000FFFF01"

// A first-generation RSA public key with the identifier certificates name it by.
struct RsaPublicKey {
    KeyId id{};
    std::vector<std::uint8_t> modulus;   // big-endian, 128 bytes
    std::vector<std::uint8_t> exponent;  // big-endian, 8 bytes
};

// Root key file layout: key identifier 8, modulus 128, exponent 8.
inline constexpr std::size_t kGen1RootKeySize = 144;
std::optional<RsaPublicKey> parseGen1RootKey(Bytes data);

// Certificate layout: signature 128 ‖ non-recoverable part Cn′ 58 ‖ CAR 8.
inline constexpr std::size_t kGen1CertificateSize = 194;
inline constexpr std::size_t kGen1SignatureSize = 128;

// The content of a first-generation certificate, readable once its signature verified.
struct Gen1Certificate {
    KeyId authority{};  // CAR: the key that signed it
    std::array<std::uint8_t, 7> holderAuthorisation{};
    std::uint32_t endOfValidity = 0;  // TimeReal; 0xFFFFFFFF: no end
    RsaPublicKey key;                 // key.id is the CHR
};

// The CAR written in clear after the certificate's signature, which chooses the signer key;
// nothing when the certificate does not have the first-generation size.
std::optional<KeyId> gen1CertificateAuthority(Bytes certificate);

struct Gen1CertificateCheck {
    std::optional<Gen1Certificate> certificate;  // present exactly when it verified
    std::string error;                           // why it did not
};

// Recovers the signed part with the signer's public key and accepts the certificate when the
// recovered SHA-1 hash matches its content (signature with message recovery, ISO/IEC 9796-2).
Gen1CertificateCheck openGen1Certificate(Bytes certificate, const RsaPublicKey& signer);

// RSA PKCS#1 v1.5 with SHA-1 over `data`, as the card signs each elementary file.
bool verifyGen1Signature(Bytes data, Bytes signature, const RsaPublicKey& key);

// ---- Second generation: card-verifiable ECC certificates -----------------------------------
//
// 7F21 certificate { 7F4E body { 5F29 profile 1, 42 CAR 8, 5F4C holder authorisation 7,
// 7F49 public key { 06 curve OID, 86 uncompressed point }, 5F20 CHR 8, 5F25 effective date 4,
// 5F24 expiration date 4 }, 5F37 signature r ‖ s }. The signature covers the encoded body.

struct Gen2Certificate {
    std::uint8_t profile = 0;
    KeyId authority{};  // CAR
    std::array<std::uint8_t, 7> holderAuthorisation{};
    std::string curve;  // OpenSSL's name of one of the curves the tachograph system allows
    std::vector<std::uint8_t> publicPoint;
    KeyId holder{};  // CHR
    std::uint32_t effectiveDate = 0;
    std::uint32_t expirationDate = 0;
    std::vector<std::uint8_t> body;       // the signed bytes: the body's tag, length and value
    std::vector<std::uint8_t> signature;  // r ‖ s
};

struct Gen2CertificateParse {
    std::optional<Gen2Certificate> certificate;  // present exactly when the structure is sound
    std::string error;
};

// Reads the structure only; whether the signature holds is verifyGen2Certificate's question.
Gen2CertificateParse parseGen2Certificate(Bytes data);

// The public key of a second-generation certificate, built once for the many signatures a
// download's check verifies with it.
class Gen2SignatureKey {
public:
    explicit Gen2SignatureKey(const Gen2Certificate& signer);
    // ECDSA over `data`, the hash following the key size (SHA-256, -384 or -512), the signature
    // in plain r ‖ s form; false for a certificate whose key could not be built.
    bool verifies(Bytes data, Bytes signature) const;

private:
    struct Free {
        void operator()(EVP_PKEY* key) const;
    };
    std::unique_ptr<EVP_PKEY, Free> key_;
    const EVP_MD* hash_ = nullptr;
    std::size_t fieldBytes_ = 0;
};

// One signature checked with the key of `signer`.
bool verifyGen2Signature(Bytes data, Bytes signature, const Gen2Certificate& signer);

// The certificate's signature over its body, checked with the signer's key.
bool verifyGen2Certificate(const Gen2Certificate& certificate, const Gen2Certificate& signer);

// SHA-256 of a whole file's bytes as 64 lower-case hexadecimal digits: the fingerprint by which
// a report names the downloads it rests on.
std::string sha256Hex(Bytes data);

}  // namespace ddd
