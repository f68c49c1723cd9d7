// One test PKI per generation for the whole test program: key generation is slow enough that
// every case sharing the keys keeps the suite quick.
#pragma once

#include "core/card_signature.h"
#include "tools/generator/card_generator.h"

namespace ddd::testing {

inline const gen::Gen1TestPki& gen1Pki() {
    static const gen::Gen1TestPki pki = gen::makeGen1TestPki();
    return pki;
}

// A member state under the same root that did not issue the card.
inline const gen::RsaTestKey& otherMemberState() {
    static const gen::RsaTestKey key = gen::makeRsaTestKey({0x11, 'O', 'T', 'H', 0x01, 0x00, 0x00, 0x01});
    return key;
}

inline const gen::Gen2TestPki& gen2Pki() {
    static const gen::Gen2TestPki pki = gen::makeGen2TestPki();
    return pki;
}

inline const gen::EcTestKey& otherGen2MemberState() {
    static const gen::EcTestKey key = gen::makeEcTestKey("brainpoolP256r1", {0x11, 'O', 'T', 'H', 0x02, 0x00, 0x00, 0x01});
    return key;
}

inline Gen2Certificate parsedGen2(const std::vector<std::uint8_t>& bytes) { return *parseGen2Certificate(bytes).certificate; }

// The test roots of both generations, which the program itself never trusts.
inline TrustAnchors testAnchors() {
    TrustAnchors anchors;
    anchors.gen1Roots.push_back(*parseGen1RootKey(gen::rsaRootKeyFile(gen1Pki().root)));
    anchors.gen2Roots.push_back(parsedGen2(gen2Pki().rootCertificate));
    return anchors;
}

}  // namespace ddd::testing
