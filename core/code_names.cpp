#include "core/code_names.h"

#include <array>
#include <utility>

namespace ddd {
namespace {

constexpr const char* kReserved = "Reserviert";

struct NamedCode {
    std::uint8_t code;
    const char* name;
};

// Generation 1 and both versions of generation 2 share these codes; the later versions only
// fill codes that the earlier ones reserved.
constexpr NamedCode kEventFaultTypes[] = {
    {0x00, "Allgemeines Ereignis"},
    {0x01, "Einstecken einer ungültigen Karte"},
    {0x02, "Kartenkonflikt"},
    {0x03, "Zeitüberlappung"},
    {0x04, "Fahren ohne geeignete Karte"},
    {0x05, "Einstecken der Karte während der Fahrt"},
    {0x06, "Letzter Kartenvorgang nicht korrekt abgeschlossen"},
    {0x07, "Geschwindigkeitsüberschreitung"},
    {0x08, "Unterbrechung der Stromversorgung"},
    {0x09, "Fehler in den Bewegungsdaten"},
    {0x0A, "Widerspruch bei der Fahrzeugbewegung"},
    {0x0B, "Zeitkonflikt (GNSS und interne Uhr)"},
    {0x0C, "Kommunikationsfehler mit der Fernkommunikationseinrichtung"},
    {0x0D, "Keine Positionsdaten vom GNSS-Empfänger"},
    {0x0E, "Kommunikationsfehler mit der externen GNSS-Einrichtung"},
    {0x0F, "GNSS-Anomalie"},
    {0x10, "Sicherheitsverletzung am Fahrzeuggerät"},
    {0x11, "Authentisierungsfehler des Weg- und Geschwindigkeitsgebers"},
    {0x12, "Authentisierungsfehler der Fahrtenschreiberkarte"},
    {0x13, "Unerlaubter Wechsel des Weg- und Geschwindigkeitsgebers"},
    {0x14, "Integritätsfehler der Karteneingabedaten"},
    {0x15, "Integritätsfehler der gespeicherten Benutzerdaten"},
    {0x16, "Fehler bei der internen Datenübertragung"},
    {0x17, "Unbefugtes Öffnen des Gehäuses"},
    {0x18, "Sabotage der Hardware"},
    {0x19, "Manipulation des GNSS erkannt"},
    {0x1A, "Authentisierungsfehler der externen GNSS-Einrichtung"},
    {0x1B, "Zertifikat der externen GNSS-Einrichtung abgelaufen"},
    {0x1C, "Widerspruch zwischen Bewegungsdaten und gespeicherten Fahrertätigkeiten"},
    {0x20, "Sicherheitsverletzung am Weg- und Geschwindigkeitsgeber"},
    {0x21, "Authentisierungsfehler des Gebers"},
    {0x22, "Integritätsfehler der gespeicherten Daten des Gebers"},
    {0x23, "Fehler bei der internen Datenübertragung des Gebers"},
    {0x24, "Unbefugtes Öffnen des Gebergehäuses"},
    {0x25, "Sabotage der Hardware des Gebers"},
    {0x30, "Fehler des Kontrollgeräts"},
    {0x31, "Interner Fehler des Fahrzeuggeräts"},
    {0x32, "Druckerfehler"},
    {0x33, "Anzeigefehler"},
    {0x34, "Fehler beim Herunterladen"},
    {0x35, "Geberfehler"},
    {0x36, "Fehler des internen GNSS-Empfängers"},
    {0x37, "Fehler der externen GNSS-Einrichtung"},
    {0x38, "Fehler der Fernkommunikationseinrichtung"},
    {0x39, "Fehler der ITS-Schnittstelle"},
    {0x3A, "Interner Geberfehler"},
    {0x40, "Kartenfehler"},
};

// The flags of a control activity, highest bit first: card download, VU download, printing,
// display, and (second generation) the roadside calibration check.
constexpr std::array<std::pair<std::uint8_t, const char*>, 5> kControlFlags = {{
    {0x80, "Karten-Download"},
    {0x40, "Fahrzeug-Download"},
    {0x20, "Ausdruck"},
    {0x10, "Anzeige"},
    {0x08, "Kalibrierprüfung"},
}};

constexpr NamedCode kSpecificConditions[] = {
    {1, "Out of Scope – Beginn"},
    {2, "Out of Scope – Ende"},
    {3, "Fähre/Zug – Beginn"},
    {4, "Fähre/Zug – Ende"},
};

// Begin and end of a daily work period, by how its time was taken: card insertion or withdrawal
// (or an entry at the vehicle unit), a manual entry, or the vehicle unit's assumption.
constexpr NamedCode kPlaceEntryTypes[] = {
    {0, "Beginn"},
    {1, "Ende"},
    {2, "Beginn (manuell eingegeben)"},
    {3, "Ende (manuell eingegeben)"},
    {4, "Beginn (vom Gerät angenommen)"},
    {5, "Ende (vom Gerät angenommen)"},
};

constexpr NamedCode kEventFaultPurposes[] = {
    {0, "Eines der 10 letzten Ereignisse oder Störungen"},
    {1, "Längstes Ereignis eines der letzten 10 Tage"},
    {2, "Eines der 5 längsten Ereignisse der letzten 365 Tage"},
    {3, "Letztes Ereignis eines der letzten 10 Tage"},
    {4, "Schwerstes Ereignis eines der letzten 10 Tage"},
    {5, "Eines der 5 schwersten Ereignisse der letzten 365 Tage"},
    {6, "Erstes Ereignis oder erste Störung nach der letzten Kalibrierung"},
    {7, "Andauerndes Ereignis oder andauernde Störung"},
};

constexpr NamedCode kCalibrationPurposes[] = {
    {1, "Aktivierung"},
    {2, "Erstkalibrierung"},
    {3, "Einbau"},
    {4, "Nachprüfung"},
    {5, "Eingabe des Kennzeichens durch das Unternehmen"},
    {6, "Zeitkorrektur ohne Kalibrierung"},
    {7, "Eingabe des Ladungstyps durch das Unternehmen"},
};

constexpr NamedCode kCardSlots[] = {
    {0, "Keine Karte"}, {1, "Fahrerkarte"}, {2, "Werkstattkarte"}, {3, "Kontrollkarte"}, {4, "Unternehmenskarte"},
};

constexpr NamedCode kLoadOperations[] = {{1, "Beladen"}, {2, "Entladen"}, {3, "Gleichzeitiges Be- und Entladen"}};

template <std::size_t N>
std::string lookUp(const NamedCode (&table)[N], std::uint8_t code) {
    for (const NamedCode& entry : table) {
        if (entry.code == code) return entry.name;
    }
    return kReserved;
}

}  // namespace

std::string eventFaultTypeName(std::uint8_t code) {
    if (code >= 0x80) return "Herstellerspezifisch";
    return lookUp(kEventFaultTypes, code);
}

std::string controlTypeName(std::uint8_t code) {
    std::string names;
    for (const auto& [flag, name] : kControlFlags) {
        if ((code & flag) == 0) continue;
        if (!names.empty()) names += ", ";
        names += name;
    }
    return names.empty() ? "Keine Angabe" : names;
}

std::string specificConditionName(std::uint8_t code) { return lookUp(kSpecificConditions, code); }

std::string placeEntryTypeName(std::uint8_t code) { return lookUp(kPlaceEntryTypes, code); }

std::string eventFaultPurposeName(std::uint8_t code) { return lookUp(kEventFaultPurposes, code); }

std::string calibrationPurposeName(std::uint8_t code) { return lookUp(kCalibrationPurposes, code); }

std::string cardSlotName(std::uint8_t code) { return lookUp(kCardSlots, code); }

std::string loadOperationName(std::uint8_t code) { return lookUp(kLoadOperations, code); }

}  // namespace ddd
