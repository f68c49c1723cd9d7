// Certificates and signed downloads: the certificate parsers, the chain and the file signatures.
#include "core/card_signature.h"
#include "fuzz/fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ddd::Bytes bytes(data, size);
    const ddd::TrustAnchors& anchors = ddd::installedTrustAnchors();
    ddd::parseGen1RootKey(bytes);
    ddd::gen1CertificateAuthority(bytes);
    for (const auto& root : anchors.gen1Roots) ddd::openGen1Certificate(bytes, root);
    if (auto parsed = ddd::parseGen2Certificate(bytes); parsed.certificate) {
        ddd::verifyGen2Certificate(*parsed.certificate, *parsed.certificate);
    }
    ddd::verifyCardDownload(bytes, anchors);
    return 0;
}
