// One test PKI per generation for the whole test program: key generation is slow enough that
// every case sharing the keys keeps the suite quick.
#pragma once

#include "core/card_signature.h"
#include "tools/generator/card_generator.h"

namespace ddd::testing {

template <class Make>
const auto& once(Make make) {
    static const auto made = make();
    return made;
}
inline const gen::Gen1TestPki& gen1Pki() { return once([] { return gen::makeGen1TestPki(); }); }
inline const gen::Gen2TestPki& gen2Pki() { return once([] { return gen::makeGen2TestPki(); }); }
// Member states under the same roots that did not issue the card.
inline const gen::RsaTestKey& otherMemberState() {
    return once([] { return gen::makeRsaTestKey({0x11, 'O', 'T', 'H', 0x01, 0x00, 0x00, 0x01}); });
}
inline const gen::EcTestKey& otherGen2MemberState() {
    return once([] { return gen::makeEcTestKey("brainpoolP256r1", {0x11, 'O', 'T', 'H', 0x02, 0x00, 0x00, 0x01}); });
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
