// Authenticity of a vehicle-unit download: the unit's certificate chain from the overview and
// the signature at the end of each block, checked against the trusted root keys as for cards.
#pragma once

#include "core/card_signature.h"
#include "core/vu_download.h"

namespace ddd {

// Checks the blocks of `vu`, decoded from `data`. First generation: RSA/SHA-1 signatures with
// the unit's key from its certificate, which the member-state certificate vouches for, which the
// European root vouches for. Second generation: ECDSA with the unit's certificate, its
// member-state certificate and a trusted second-generation root. A problem names the block.
AuthenticityCheck verifyVuDownload(Bytes data, const VuDownload& vu, const TrustAnchors& anchors);

}  // namespace ddd
