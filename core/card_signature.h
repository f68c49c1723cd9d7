// Authenticity of a driver-card download: the certificate chain it carries and the card's
// signature over each elementary file, checked against the trusted root keys.
#pragma once

#include <string>
#include <vector>

#include "core/card_efs.h"
#include "core/certificate.h"

namespace ddd {

enum class Authenticity {
    Valid,       // every signed file and the whole chain verify up to a trusted root
    Invalid,     // a file or certificate fails; `problems` names each and why
    Unanchored,  // everything below the root verifies, but no trusted root is known for it
    Unsigned,    // the download holds no signatures and no certificates
    Uncheckable, // signed, but certificates the check needs are missing; `problems` names them
};

// "valid", "invalid", "unanchored", "unsigned", "uncheckable"
const char* authenticityText(Authenticity a);

struct AuthenticityCheck {
    Authenticity status = Authenticity::Unsigned;
    std::vector<std::string> problems;   // "<file or certificate>: <why>", in file order
    std::vector<std::string> sentences;  // each problem as a German sentence, in the same order
    std::vector<std::string> notes;     // shown, never failing: validity ends, unanchored chains
};

// The keys a chain may end at. Test code passes its own; the program uses installedTrustAnchors().
struct TrustAnchors {
    std::vector<RsaPublicKey> gen1Roots;
    std::vector<Gen2Certificate> gen2Roots;  // self-signed root certificates
};

// The first-generation European root key shipped with the program and the second-generation
// roots the user placed in the folder of trusted roots; read once.
const TrustAnchors& installedTrustAnchors();

// The program's per-user data: $XDG_DATA_HOME/Orvendel, or ~/.local/share/Orvendel without
// XDG_DATA_HOME.
std::string dataFolder();

// dataFolder()/roots
std::string trustedRootsFolder();

// Every file of the folder that holds a self-signed second-generation certificate whose
// signature verifies; other files are skipped.
std::vector<Gen2Certificate> readTrustedRoots(const std::string& folder);

// Checks a whole card download. Never throws for bad input: a malformed container, certificate
// or signature makes the result invalid with the reason.
AuthenticityCheck verifyCardDownload(Bytes data, const TrustAnchors& anchors);

}  // namespace ddd
