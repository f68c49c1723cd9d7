// The kept archive index in SQLite: schema and its migrations, the incremental rescan, and the
// finder's index rebuilt from the kept sessions in the order a fresh scan would meet them.
#include "finder/archive_index.h"

#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <future>
#include <memory>
#include <optional>
#include <filesystem>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "core/atomic_file.h"
#include "core/byte_reader.h"
#include "core/card_file.h"
#include "core/card_signature.h"
#include "core/certificate.h"
#include "core/folder_walk.h"
#include "core/vu_download.h"
#include "core/vu_signature.h"

namespace ddd::finder {

namespace fs = std::filesystem;

namespace {

// "ORVA" in the file header: an SQLite file of another program is never taken for ours.
constexpr int kApplicationId = 0x4F525641;

// Step i brings a file of schema version i to version i + 1; the last step's target is current.
const char* const kMigrations[] = {
    R"SQL(
    CREATE TABLE folders(position INTEGER PRIMARY KEY, path TEXT NOT NULL);
    -- kind: 'C' card, 'V' vehicle unit, 'U' neither; generation 1, 2 or 3 (second, version 2).
    CREATE TABLE downloads(
        id INTEGER PRIMARY KEY, sha256 TEXT NOT NULL UNIQUE, kind TEXT NOT NULL, problem TEXT NOT NULL,
        generation INTEGER NOT NULL, card_number TEXT NOT NULL, driver TEXT NOT NULL, nation INTEGER NOT NULL,
        surname TEXT NOT NULL, first_names TEXT NOT NULL, card_expiry INTEGER NOT NULL,
        vin TEXT NOT NULL, registration TEXT NOT NULL, registration_known INTEGER NOT NULL,
        period_begin INTEGER NOT NULL, period_end INTEGER NOT NULL, downloaded INTEGER NOT NULL,
        signature TEXT NOT NULL, sessions BLOB NOT NULL);
    CREATE INDEX downloads_driver ON downloads(nation, driver);
    -- download NULL: the file could not be read, for the reason in problem.
    CREATE TABLE files(
        path TEXT PRIMARY KEY, size INTEGER NOT NULL, mtime_ns INTEGER NOT NULL, inode INTEGER NOT NULL,
        download INTEGER REFERENCES downloads(id), problem TEXT NOT NULL, vanished INTEGER);
    CREATE INDEX files_download ON files(download);
    -- What the walks of the last complete rescan left out, per folder.
    CREATE TABLE walk_skipped(folder INTEGER NOT NULL, position INTEGER NOT NULL, path TEXT NOT NULL, reason TEXT NOT NULL);
    )SQL",
    R"SQL(
    -- The finder's index as the last complete rescan built it, so that a start reads it in one
    -- piece; gone as soon as a rescan changes the files and back when one completes.
    CREATE TABLE finder_index(id INTEGER PRIMARY KEY CHECK(id = 1), data BLOB NOT NULL);
    -- Every folder under the scanned ones as the last complete rescan left it: a file added,
    -- renamed or removed changes its folder's state.
    CREATE TABLE folder_states(path TEXT PRIMARY KEY, size INTEGER NOT NULL, mtime_ns INTEGER NOT NULL, inode INTEGER NOT NULL);
    )SQL",
    R"SQL(
    -- The groups whose sessions meet in the finder's index: 'C' and the card (the driver) for each
    -- card of a card download's sessions, 'V' and the VIN for a vehicle unit's. A change of files
    -- re-merges only the groups of the downloads it touched. Filled for the kept downloads by the
    -- step itself; the finder's index is written anew with the places of its sessions.
    CREATE TABLE download_groups(download INTEGER NOT NULL, grp TEXT NOT NULL);
    CREATE INDEX download_groups_grp ON download_groups(grp);
    CREATE INDEX download_groups_download ON download_groups(download);
    CREATE INDEX downloads_kind ON downloads(kind);
    -- The groups merged afresh since finder_index was written whole, their sessions and the counts
    -- of now; complete 0 while a rescan changes files.
    CREATE TABLE finder_changes(id INTEGER PRIMARY KEY CHECK(id = 1), complete INTEGER NOT NULL, groups BLOB NOT NULL, data BLOB NOT NULL);
    DELETE FROM finder_index;
    )SQL",
};
constexpr int kSchemaVersion = static_cast<int>(std::size(kMigrations));

// Read files are stored in transactions of this many, so that a scan killed midway keeps them.
constexpr long kFilesPerTransaction = 256;

struct SqliteError : std::runtime_error {
    SqliteError(int code, const std::string& what) : std::runtime_error(what), code(code) {}
    int code;
    bool damaged() const { return (code & 0xFF) == SQLITE_CORRUPT || (code & 0xFF) == SQLITE_NOTADB; }
};

// Asks for huge pages under memory about to be written whole: one page fault per 2 MiB instead of
// one per 4 KiB, which on a virtual machine is most of what reading a large index costs. Only the
// whole huge pages inside the range are affected; without them nothing changes.
void preferHugePages(const void* data, std::size_t bytes) {
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto at = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (at + kHugePage - 1) & ~(kHugePage - 1), end = (at + bytes) & ~(kHugePage - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// The finder's index as written whole, in memory of its own (see preferHugePages).
struct WholeIndex {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
    Bytes bytes() const { return Bytes(data.get(), size); }
};

WholeIndex readWholeIndex(sqlite3* db) {
    sqlite3_blob* blob = nullptr;
    const int opened = sqlite3_blob_open(db, "main", "finder_index", "data", 1, 0, &blob);
    WholeIndex whole;
    int rc = opened;
    if (opened == SQLITE_OK) {
        whole.size = static_cast<std::size_t>(sqlite3_blob_bytes(blob));
        whole.data.reset(new std::uint8_t[whole.size]);
        preferHugePages(whole.data.get(), whole.size);
        rc = sqlite3_blob_read(blob, whole.data.get(), static_cast<int>(whole.size), 0);
    }
    const int code = sqlite3_extended_errcode(db);
    sqlite3_blob_close(blob);
    // A missing row or table is a damage of the index like a broken page.
    if (opened == SQLITE_ERROR) throw SqliteError(SQLITE_CORRUPT, "finder index missing");
    if (rc != SQLITE_OK) throw SqliteError(code, sqlite3_errstr(rc));
    return whole;
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        check(sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr));
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int at, std::int64_t value) {
        check(sqlite3_bind_int64(statement_, at, value));
        return *this;
    }
    Statement& bind(int at, const std::string& text) {
        check(sqlite3_bind_text(statement_, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bindBlob(int at, const std::vector<std::uint8_t>& bytes) {
        check(sqlite3_bind_blob(statement_, at, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bindNull(int at) {
        check(sqlite3_bind_null(statement_, at));
        return *this;
    }
    // True while there is a row to read.
    bool step() {
        const int rc = sqlite3_step(statement_);
        if (rc == SQLITE_ROW) return true;
        sqlite3_reset(statement_);
        if (rc != SQLITE_DONE) check(rc);
        return false;
    }
    void run() {
        while (step()) continue;
        sqlite3_clear_bindings(statement_);
    }
    std::int64_t integer(int column) const { return sqlite3_column_int64(statement_, column); }
    bool isNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
    std::string text(int column) const {
        const auto* data = sqlite3_column_text(statement_, column);
        return data ? std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))) : std::string();
    }
    Bytes blob(int column) const {
        const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, column));
        return data ? Bytes(data, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))) : Bytes();
    }

private:
    void check(int rc) const {
        if (rc != SQLITE_OK) throw SqliteError(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
    }
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}
void put64(std::vector<std::uint8_t>& out, std::int64_t v) {
    put32(out, static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) >> 32));
    put32(out, static_cast<std::uint32_t>(v));
}
void putText(std::vector<std::uint8_t>& out, std::string_view text) {
    put32(out, static_cast<std::uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}
std::int64_t get64(ByteReader& in) {
    const std::uint64_t high = in.u32();
    return static_cast<std::int64_t>(high << 32 | in.u32());
}
std::string getText(ByteReader& in) {
    const Bytes bytes = in.bytes(in.u32());
    return {bytes.begin(), bytes.end()};
}

// A download's sessions without their file, which is the path they are first met under.
std::vector<std::uint8_t> packSessions(const std::vector<FinderSession>& sessions) {
    std::vector<std::uint8_t> out;
    put32(out, static_cast<std::uint32_t>(sessions.size()));
    for (const FinderSession& s : sessions) {
        for (const std::string* text : {&s.surname, &s.firstNames, &s.card, &s.vin, &s.plate}) putText(out, *text);
        put32(out, s.plateNation);
        put32(out, s.slot);
        for (const std::int64_t v : {s.start, s.end, s.odometerStart, s.odometerEnd}) put64(out, v);
        out.push_back(static_cast<std::uint8_t>(s.source));
    }
    return out;
}

std::vector<FinderSession> unpackSessions(Bytes packed) {
    ByteReader in(packed);
    const std::uint32_t count = in.u32();
    // Each session takes at least 61 bytes: a count beyond that is damage, not a huge download.
    if (count > in.remaining() / 61) throw SqliteError(SQLITE_CORRUPT, "sessions damaged");
    std::vector<FinderSession> sessions(count);
    for (FinderSession& s : sessions) {
        for (std::string* text : {&s.surname, &s.firstNames, &s.card, &s.vin, &s.plate}) *text = getText(in);
        s.plateNation = in.u32();
        s.slot = in.u32();
        for (std::int64_t* v : {&s.start, &s.end, &s.odometerStart, &s.odometerEnd}) *v = get64(in);
        s.source = static_cast<char>(in.u8());
    }
    if (in.failed() || in.remaining() != 0) throw SqliteError(SQLITE_CORRUPT, "sessions damaged");
    return sessions;
}

// The groups of download_groups that a download's sessions belong to.
std::vector<std::string> groupsOf(bool vehicleUnit, const std::string& vin, const std::vector<FinderSession>& sessions) {
    if (vehicleUnit) return {"V" + vin};
    std::vector<std::string> groups;
    for (const FinderSession& s : sessions) {
        std::string group = "C" + s.card;
        if (std::find(groups.begin(), groups.end(), group) == groups.end()) groups.push_back(std::move(group));
    }
    return groups;
}

// Groups of download_groups, split by kind, so that a session is looked up without building its
// group's name.
struct Groups {
    std::unordered_set<std::string> cards, vins;
    void add(const std::string& group) {
        if (!group.empty()) (group[0] == 'C' ? cards : vins).insert(group.substr(1));
    }
    bool holds(const FinderSession& s) const { return s.source == 'C' ? cards.contains(s.card) : vins.contains(s.vin); }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const std::string& card : cards) out.push_back("C" + card);
        for (const std::string& vin : vins) out.push_back("V" + vin);
        return out;
    }
};

void addDownloadGroups(sqlite3* db, std::int64_t download, const std::vector<std::string>& groups) {
    Statement add(db, "INSERT INTO download_groups(download, grp) VALUES(?, ?)");
    for (const std::string& group : groups) add.bind(1, download).bind(2, group).run();
}

// The migration step that brings download_groups, which it fills for the downloads already kept.
constexpr std::int64_t kDownloadGroupsStep = 2;

void fillDownloadGroups(sqlite3* db) {
    Statement s(db, "SELECT id, kind, vin, sessions FROM downloads");
    while (s.step()) addDownloadGroups(db, s.integer(0), groupsOf(s.text(1) != "C", s.text(2), unpackSessions(s.blob(3))));
}

// A session of the finder's index with the place a fresh scan gives it: scans of the folders one
// after another, in each first the card sessions (a stay where it was first met, in walk order,
// however often a later download replaces it) and then the vehicle units' sessions in walk order.
// Kept with each session, so that sessions re-merged after a change go back where a fresh scan
// puts them.
struct PlacedSession {
    FinderSession session;
    std::uint32_t root = 0;
    std::string firstFile;   // a card stay first met in another file than its session's; empty: its own
    std::uint32_t item = 0;  // its place among the sessions of that file
    const std::string& placeFile() const { return firstFile.empty() ? session.file : firstFile; }
};

// The finder's index in one piece: counts, skipped files and placed sessions. A text equal to the
// one of the session before is written as a mark, since a download's sessions share their file
// and mostly their driver or vehicle.
constexpr std::uint32_t kFinderIndexFormat = 2;
constexpr std::uint32_t kAsBefore = 0xFFFFFFFF;
constexpr std::size_t kLargestFinderIndex = 900'000'000;

struct PlacedIndex {
    DriverIndex header;  // counts and skipped files; its sessions stay empty
    std::vector<PlacedSession> sessions;
};

std::vector<std::uint8_t> packFinderIndex(const PlacedIndex& placed) {
    const DriverIndex& index = placed.header;
    std::vector<std::uint8_t> out;
    // Some 130 bytes a session, most of it the texts of the first session of each download.
    out.reserve(placed.sessions.size() * 160);
    put32(out, kFinderIndexFormat);
    for (const std::int64_t v : {index.filesIndexed, index.filesUnreadable, index.filesUnrecognised}) put64(out, v);
    put32(out, static_cast<std::uint32_t>(index.skipped.size()));
    for (const SkippedFile& f : index.skipped) {
        putText(out, f.path);
        putText(out, f.reason);
    }
    put32(out, static_cast<std::uint32_t>(placed.sessions.size()));
    const PlacedSession none;
    const PlacedSession* before = &none;
    for (const PlacedSession& p : placed.sessions) {
        const FinderSession& s = p.session;
        const FinderSession& b = before->session;
        const std::string* texts[] = {&s.surname, &s.firstNames, &s.card, &s.vin, &s.plate, &s.file, &p.firstFile};
        const std::string* previous[] = {&b.surname, &b.firstNames, &b.card, &b.vin, &b.plate, &b.file, &before->firstFile};
        for (std::size_t i = 0; i < std::size(texts); ++i) {
            if (*texts[i] != *previous[i]) putText(out, *texts[i]);
            else put32(out, kAsBefore);
        }
        put32(out, s.plateNation);
        put32(out, s.slot);
        for (const std::int64_t v : {s.start, s.end, s.odometerStart, s.odometerEnd}) put64(out, v);
        out.push_back(static_cast<std::uint8_t>(s.source));
        put32(out, p.root);
        put32(out, p.item);
        before = &p;
    }
    return out;
}

// Reads a packed index: its counts and skipped files, returned, the number of its sessions, told
// to `expect`, and each placed session in turn, handed to `each`, which copies what it keeps.
template <typename Expect, typename Each>
DriverIndex readFinderIndex(Bytes packed, Expect&& expect, Each&& each) {
    const auto damaged = [] { return SqliteError(SQLITE_CORRUPT, "finder index damaged"); };
    ByteReader in(packed);
    if (in.u32() != kFinderIndexFormat) throw damaged();
    DriverIndex index;
    for (std::int64_t* v : {&index.filesIndexed, &index.filesUnreadable, &index.filesUnrecognised}) *v = get64(in);
    const std::uint32_t skipped = in.u32();
    if (skipped > in.remaining() / 8) throw damaged();
    index.skipped.resize(skipped);
    for (SkippedFile& f : index.skipped) {
        f.path = getText(in);
        f.reason = getText(in);
    }
    const std::uint32_t count = in.u32();
    // Each session takes at least 77 bytes: a count beyond that is damage.
    if (in.failed() || count > in.remaining() / 77) throw damaged();
    expect(static_cast<std::size_t>(count));
    PlacedSession current, previous;
    for (std::uint32_t k = 0; k < count; ++k) {
        FinderSession& s = current.session;
        const FinderSession& b = previous.session;
        std::string* texts[] = {&s.surname, &s.firstNames, &s.card, &s.vin, &s.plate, &s.file, &current.firstFile};
        const std::string* before[] = {&b.surname, &b.firstNames, &b.card, &b.vin, &b.plate, &b.file, &previous.firstFile};
        for (std::size_t i = 0; i < std::size(texts); ++i) {
            const std::uint32_t size = in.u32();
            if (size == kAsBefore) {
                *texts[i] = *before[i];
            } else {
                const auto bytes = in.bytes(size);
                texts[i]->assign(bytes.begin(), bytes.end());
            }
        }
        s.plateNation = in.u32();
        s.slot = in.u32();
        for (std::int64_t* v : {&s.start, &s.end, &s.odometerStart, &s.odometerEnd}) *v = get64(in);
        s.source = static_cast<char>(in.u8());
        current.root = in.u32();
        current.item = in.u32();
        if (in.failed()) throw damaged();
        each(static_cast<const PlacedSession&>(current));
        std::swap(current, previous);
    }
    if (in.failed() || in.remaining() != 0) throw damaged();
    return index;
}

PlacedIndex unpackFinderIndex(Bytes packed) {
    PlacedIndex out;
    out.header = readFinderIndex(
        packed, [&](std::size_t count) { out.sessions.reserve(count); }, [&](const PlacedSession& p) { out.sessions.push_back(p); });
    return out;
}

// The finder's index the placed sessions make, in their order (those already in the header first).
DriverIndex finderIndexOf(PlacedIndex placed) {
    DriverIndex index = std::move(placed.header);
    index.sessions.reserve(index.sessions.size() + placed.sessions.size());
    for (PlacedSession& p : placed.sessions) index.sessions.push_back(std::move(p.session));
    index.buildLookup();
    return index;
}

// The order of the folder walk: names byte-wise within a folder, a folder's files where its name
// sorts; so the separator sorts before every other byte.
bool walksBefore(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;
        if (a[i] == '/') return true;
        if (b[i] == '/') return false;
        return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
    }
    return a.size() < b.size();
}

// The folder of `folders` whose walk finds `path`, or folders.size() for none.
std::size_t rootOf(const std::vector<std::string>& folders, const std::string& path) {
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const std::string& root = folders[i];
        if (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && (root.back() == '/' || path[root.size()] == '/')) return i;
    }
    return folders.size();
}

FileState stateOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {-1, -1, -1};
    return {static_cast<std::int64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            static_cast<std::int64_t>(st.st_ino)};
}

// The prefix range [`below`, `above`) of the paths under `folder`.
std::pair<std::string, std::string> pathsUnder(const std::string& folder) {
    return {folder + "/", folder + "0"};
}

// A download as read: its facts and what it gives the finder.
struct ReadDownload {
    ArchiveDownload facts;
    std::string driver;  // the first 14 characters of a card's number: the driver, not the card copy
    bool registrationKnown = false;
    DownloadSessions sessions;
};

ReadDownload readDownload(Bytes bytes, const std::string& path) {
    ReadDownload out;
    ArchiveDownload& f = out.facts;
    auto card = decodeCardFile(bytes);
    if (card) {
        const DriverCardFile& file = card.value();
        f.kind = 'C';
        f.generation = file.gen2 ? 2 : 1;
        if (const CardApplicationData* app = chosenApplication(file)) {
            if (const auto& id = app->identification) {
                f.cardNumber = cardNumberText(id->cardNumber);
                out.driver = textWithoutTrailingBlanks(Bytes(id->cardNumber).first(14));
                f.nation = id->issuingNation;
                f.surname = id->surname.text;
                f.firstNames = id->firstNames.text;
                f.cardExpiry = id->expiryDate;
            }
            if (app->driverActivity && !app->driverActivity->days.empty()) {
                const auto [first, last] = std::minmax_element(app->driverActivity->days.begin(), app->driverActivity->days.end(),
                                                               [](const auto& a, const auto& b) { return a.date < b.date; });
                f.periodBegin = first->date;
                f.periodEnd = last->date + 86400;
            }
            if (app->lastCardDownload && !isEmptyTime(*app->lastCardDownload)) f.downloaded = *app->lastCardDownload;
        }
        f.signature = authenticityText(verifyCardDownload(bytes, installedTrustAnchors()).status);
        out.sessions = cardDownloadSessions(file, path);
        return out;
    }
    const VuDownload vu = decodeVuDownload(bytes);
    const bool recognised = vu.complete && !bytes.empty();
    f.kind = recognised ? 'V' : 'U';
    f.problem = recognised ? "" : bytes.empty() ? "empty file" : vu.stopReason;
    f.generation = vu.generation ? static_cast<int>(*vu.generation) + 1 : 0;
    f.vin = vu.vin;
    f.registration = vu.registrationNumber;
    f.nation = vu.registrationNation;
    out.registrationKnown = vu.hasRegistration;
    f.periodBegin = isEmptyTime(vu.downloadableFrom) ? 0 : vu.downloadableFrom;
    f.periodEnd = isEmptyTime(vu.downloadableTo) ? 0 : vu.downloadableTo;
    f.downloaded = isEmptyTime(vu.vuTime) ? 0 : vu.vuTime;
    f.signature = authenticityText(verifyVuDownload(bytes, vu, installedTrustAnchors()).status);
    out.sessions = vehicleDownloadSessions(vu, recognised, path);
    return out;
}

std::string timeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &utc);
    return text;
}

}  // namespace

struct ArchiveIndex::Database {
    sqlite3* handle = nullptr;
    ~Database() { sqlite3_close(handle); }
    void exec(const char* sql) {
        char* message = nullptr;
        if (sqlite3_exec(handle, sql, nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : "sqlite error";
            sqlite3_free(message);
            throw SqliteError(sqlite3_extended_errcode(handle), text);
        }
    }
    std::int64_t pragma(const char* sql) {
        Statement s(handle, sql);
        return s.step() ? s.integer(0) : 0;
    }
    // Each step in a transaction of its own, so that an interrupted upgrade resumes where it stopped.
    void migrate(std::int64_t from) {
        for (std::int64_t v = from; v < kSchemaVersion; ++v) {
            exec("BEGIN IMMEDIATE");
            exec(kMigrations[v]);
            if (v == kDownloadGroupsStep) fillDownloadGroups(handle);
            exec(("PRAGMA application_id=" + std::to_string(kApplicationId) + "; PRAGMA user_version=" + std::to_string(v + 1)).c_str());
            exec("COMMIT");
        }
    }
    // Leaves no transaction open behind a failure, so that the next one can begin.
    void rollBackOpen() {
        if (handle && sqlite3_get_autocommit(handle) == 0) sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
    }
};

std::string defaultArchiveIndexPath() { return (fs::path(dataFolder()) / "archive.sqlite").string(); }

ArchiveIndex::ArchiveIndex(const std::string& file) { begin(file); }

ArchiveIndex::~ArchiveIndex() = default;

void ArchiveIndex::begin(const std::string& file) {
    file_ = file;
    db_ = std::make_unique<Database>();
    if (file.empty()) {
        if (sqlite3_open(":memory:", &db_->handle) != SQLITE_OK) throw std::runtime_error("cannot open an index in memory");
        db_->migrate(0);
        return;
    }
    std::error_code error;
    fs::create_directories(fs::path(file).parent_path(), error);
    if (sqlite3_open_v2(file.c_str(), &db_->handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK ||
        sqlite3_db_readonly(db_->handle, "main") == 1) {
        fallBackToMemory(error ? error.message() : db_->handle ? sqlite3_errmsg(db_->handle) : "");
        return;
    }
    sqlite3_busy_timeout(db_->handle, 5000);
    try {
        const std::int64_t tables = db_->pragma("SELECT count(*) FROM sqlite_master");
        const std::int64_t application = db_->pragma("PRAGMA application_id");
        const std::int64_t version = db_->pragma("PRAGMA user_version");
        if (tables > 0 && application != kApplicationId) {
            setAside("Die Datei " + file + " ist kein Archiv-Index dieses Programms");
            return;
        }
        if (version > kSchemaVersion) {
            setAside("Der Archiv-Index stammt von einer neueren Programmversion");
            return;
        }
        db_->exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL");
        db_->migrate(version);
        // A damage in the tables shows here rather than in the middle of a rescan.
        db_->pragma("SELECT count(*) FROM files WHERE vanished IS NULL");
    } catch (const SqliteError& e) {
        if (e.damaged()) {
            setAside("Der Archiv-Index war beschädigt");
        } else {
            fallBackToMemory(e.what());
        }
    }
}

void ArchiveIndex::setAside(const std::string& why) {
    db_.reset();
    const std::string file = file_;
    const std::string aside = file + ".beiseite-" + timeStamp();
    std::error_code error;
    fs::rename(file, aside, error);
    if (error) {
        fallBackToMemory(error.message());
        return;
    }
    for (const char* suffix : {"-wal", "-shm"}) fs::rename(file + suffix, aside + suffix, error);
    begin(file);
    if (notice_.empty()) notice_ = why + "; er wurde als " + fs::path(aside).filename().string() + " beiseitegelegt und wird neu aufgebaut.";
}

void ArchiveIndex::fallBackToMemory(const std::string& why) {
    const std::string folder = fs::path(file_).parent_path().string();
    begin("");
    notice_ = "Der Archiv-Index kann in " + folder + " nicht gespeichert werden (" + why +
              "); die Fahrerermittlung arbeitet ohne gespeicherten Index.";
}

std::vector<std::string> ArchiveIndex::folders() const {
    Statement s(db_->handle, "SELECT path FROM folders ORDER BY position");
    std::vector<std::string> out;
    while (s.step()) out.push_back(s.text(0));
    return out;
}

RescanCounts ArchiveIndex::rescan(const std::vector<std::string>& folders, const std::function<bool(long, long)>& progress,
                                  const std::atomic<bool>* stop, const std::function<void(long)>& committed) {
    try {
        return rescanOnce(folders, progress, stop, committed);
    } catch (const SqliteError& e) {
        if (e.damaged() && kept()) {
            setAside("Der Archiv-Index war beschädigt");
        } else if (kept()) {
            fallBackToMemory(e.what());
        } else {
            throw std::runtime_error(e.what());
        }
    }
    try {
        return rescanOnce(folders, progress, stop, committed);
    } catch (const SqliteError& e) {
        throw std::runtime_error(e.what());
    }
}

RescanCounts ArchiveIndex::rescanOnce(const std::vector<std::string>& folders, const std::function<bool(long, long)>& progress,
                                      const std::atomic<bool>* stop, const std::function<void(long)>& committed) {
    try {
        return rescanFiles(folders, progress, stop, committed);
    } catch (...) {
        db_->rollBackOpen();
        throw;
    }
}

namespace {

// A present file as the finder meets it.
struct PresentFile {
    std::size_t root = 0;
    std::string path;
    std::string problem;
    std::int64_t download = 0;  // 0: unreadable
};

void sortInWalkOrder(std::vector<PresentFile>& files) {
    std::sort(files.begin(), files.end(), [](const PresentFile& a, const PresentFile& b) {
        return a.root != b.root ? a.root < b.root : walksBefore(a.path, b.path);
    });
}

std::vector<PresentFile> presentFiles(sqlite3* db, const std::vector<std::string>& folders, const char* sql) {
    std::vector<PresentFile> files;
    Statement s(db, sql);
    while (s.step()) {
        PresentFile f{0, s.text(0), s.text(1), s.isNull(2) ? 0 : s.integer(2)};
        f.root = rootOf(folders, f.path);
        files.push_back(std::move(f));
    }
    sortInWalkOrder(files);
    return files;
}

// Before in the order of a fresh scan.
bool placedBefore(const PlacedSession& a, const PlacedSession& b) {
    if (a.root != b.root) return a.root < b.root;
    const bool aUnit = a.session.source != 'C', bUnit = b.session.source != 'C';
    if (aUnit != bUnit) return bUnit;
    const std::string& fileA = a.placeFile();
    const std::string& fileB = b.placeFile();
    if (fileA != fileB) return walksBefore(fileA, fileB);
    return a.item < b.item;
}

// Counts and skipped files of the finder's index over the present files.
DriverIndex finderIndexHeader(sqlite3* db, const std::vector<std::string>& roots) {
    DriverIndex header;
    Statement counts(db,
                     "SELECT (SELECT count(download) FROM files WHERE vanished IS NULL),"
                     " (SELECT count(*) FROM files WHERE download IS NULL AND vanished IS NULL),"
                     " (SELECT count(*) FROM files WHERE vanished IS NULL AND download IN (SELECT id FROM downloads WHERE kind = 'U'))");
    if (counts.step()) {
        header.filesIndexed = counts.integer(0);
        header.filesUnreadable = counts.integer(1);
        header.filesUnrecognised = counts.integer(2);
        counts.run();
    }
    std::vector<std::vector<SkippedFile>> walkSkipped(roots.size() + 1);
    Statement s(db, "SELECT folder, path, reason FROM walk_skipped ORDER BY folder, position");
    while (s.step()) {
        const auto folder = static_cast<std::size_t>(s.integer(0));
        if (folder < roots.size()) walkSkipped[folder].push_back({s.text(1), s.text(2)});
    }
    const std::vector<PresentFile> unreadable =
        presentFiles(db, roots, "SELECT path, problem, download FROM files WHERE vanished IS NULL AND download IS NULL");
    std::size_t at = 0;
    for (std::size_t root = 0; root <= roots.size(); ++root) {
        for (SkippedFile& f : walkSkipped[root]) header.skipped.push_back(std::move(f));
        for (; at < unreadable.size() && unreadable[at].root == root; ++at) header.skipped.push_back({unreadable[at].path, unreadable[at].problem});
    }
    return header;
}

// The sessions of the present files that belong to `groups` (all for none), merged and placed as a
// fresh scan of the roots merges and places them. The first path of a content in walk order brings
// its sessions; the same content met again adds nothing.
std::vector<PlacedSession> placedSessions(sqlite3* db, const std::vector<std::string>& roots, const Groups* groups) {
    std::vector<PresentFile> files;
    std::unordered_map<std::int64_t, DownloadSessions> contents;
    const auto keep = [&](const Statement& s) {
        const std::string kind = s.text(1);
        contents.emplace(s.integer(0), DownloadSessions{kind != "C", kind != "U", s.text(2), s.integer(3) != 0,
                                                        static_cast<std::uint32_t>(s.integer(4)), unpackSessions(s.blob(5))});
    };
    constexpr const char* kContents = "SELECT id, kind, vin, registration_known, nation, sessions FROM downloads";
    if (!groups) {
        files = presentFiles(db, roots, "SELECT path, problem, download FROM files WHERE vanished IS NULL AND download IS NOT NULL");
        Statement s(db, (std::string(kContents) + " WHERE id IN (SELECT download FROM files WHERE vanished IS NULL)").c_str());
        while (s.step()) keep(s);
    } else {
        Statement members(db, "SELECT download FROM download_groups WHERE grp = ?");
        Statement content(db, (std::string(kContents) + " WHERE id = ?").c_str());
        Statement paths(db, "SELECT path FROM files WHERE download = ? AND vanished IS NULL");
        for (const std::string& group : groups->names()) {
            members.bind(1, group);
            while (members.step()) {
                const std::int64_t id = members.integer(0);
                if (contents.contains(id) || !content.bind(1, id).step()) continue;
                keep(content);
                content.run();
                paths.bind(1, id);
                while (paths.step()) files.push_back({rootOf(roots, paths.text(0)), paths.text(0), {}, id});
            }
        }
        sortInWalkOrder(files);
    }

    struct Place {
        std::uint32_t root;
        std::string file;
        std::uint32_t item;
    };
    // Where each card stay (card, vehicle, start) was first met.
    const auto stay = [](const FinderSession& s) { return s.card + '\0' + s.plate + '\0' + std::to_string(s.start); };
    std::unordered_map<std::string, Place> firstMet;
    std::unordered_set<std::int64_t> met;
    std::vector<PlacedSession> out;
    DriverIndex merged;
    std::size_t at = 0;
    for (std::uint32_t root = 0; root <= roots.size(); ++root) {
        for (; at < files.size() && files[at].root == root; ++at) {
            if (!met.insert(files[at].download).second) continue;
            const auto found = contents.find(files[at].download);
            if (found == contents.end()) throw SqliteError(SQLITE_CORRUPT, "file without its download");
            DownloadSessions d = std::move(found->second);
            std::uint32_t item = 0;
            for (FinderSession& s : d.sessions) {
                s.file = files[at].path;
                if (!d.vehicleUnit) firstMet.try_emplace(stay(s), Place{root, s.file, item});
                ++item;
            }
            if (groups) std::erase_if(d.sessions, [&](const FinderSession& s) { return !groups->holds(s); });
            merged.addDownload(std::move(d));
        }
        const std::size_t unitsFrom = merged.sessions.size();
        merged.finishScan();
        std::uint32_t item = 0;
        for (std::size_t i = unitsFrom; i < merged.sessions.size(); ++i) {
            FinderSession& s = merged.sessions[i];
            item = i > unitsFrom && s.file == out.back().session.file ? item + 1 : 0;
            out.push_back({std::move(s), root, {}, item});
        }
    }
    for (FinderSession& s : merged.sessions) {
        if (s.source != 'C') continue;
        const Place& place = firstMet.at(stay(s));
        out.push_back({std::move(s), place.root, {}, place.item});
        if (place.file != out.back().session.file) out.back().firstFile = place.file;
    }
    std::sort(out.begin(), out.end(), placedBefore);
    return out;
}

// The finder's index over the present files, merged afresh from the rows.
PlacedIndex placedIndex(sqlite3* db, const std::vector<std::string>& roots) {
    PlacedIndex index;
    index.header = finderIndexHeader(db, roots);
    index.sessions = placedSessions(db, roots, nullptr);
    return index;
}

std::vector<std::uint8_t> packGroups(const Groups& groups) {
    const std::vector<std::string> names = groups.names();
    std::vector<std::uint8_t> out;
    put32(out, static_cast<std::uint32_t>(names.size()));
    for (const std::string& name : names) putText(out, name);
    return out;
}

Groups unpackGroups(Bytes packed) {
    ByteReader in(packed);
    const std::uint32_t count = in.u32();
    if (count > in.remaining() / 4) throw SqliteError(SQLITE_CORRUPT, "finder index damaged");
    Groups groups;
    for (std::uint32_t i = 0; i < count && !in.failed(); ++i) groups.add(getText(in));
    if (in.failed() || in.remaining() != 0) throw SqliteError(SQLITE_CORRUPT, "finder index damaged");
    return groups;
}

// The finder's index is kept as the index last written whole (finder_index) and what changed
// since (finder_changes): the groups merged afresh since, their sessions now, and the counts and
// skipped files of now. A rescan writes only the changes, until they grow to a quarter of the
// whole, which is then written anew. The changes are marked incomplete while a rescan changes
// files, so that a rescan that does not finish leaves neither to be trusted.
constexpr const char* kKeptChangesHold = "SELECT groups FROM finder_changes WHERE complete = 1 AND EXISTS (SELECT 1 FROM finder_index)";

// The groups changed since the index was written whole, when the kept index holds.
std::optional<Groups> keptGroups(sqlite3* db) {
    Statement s(db, kKeptChangesHold);
    if (!s.step()) return std::nullopt;
    try {
        Groups groups = unpackGroups(s.blob(0));
        s.run();
        return groups;
    } catch (const SqliteError&) {
        s.run();
        return std::nullopt;
    }
}

// The index written whole with the changes merged in: at most so many sessions told to `expect`,
// then each session handed to `keep` in order.
template <typename Expect, typename Keep>
void mergeChanges(sqlite3* db, const Groups& groups, std::vector<PlacedSession>& changed, Expect&& expect, Keep&& keep) {
    const WholeIndex whole = readWholeIndex(db);
    std::size_t next = 0;
    readFinderIndex(whole.bytes(), [&](std::size_t count) { expect(count + changed.size()); }, [&](const PlacedSession& p) {
        while (next < changed.size() && placedBefore(changed[next], p)) keep(std::move(changed[next++]));
        if (!groups.holds(p.session)) keep(PlacedSession(p));
    });
    while (next < changed.size()) keep(std::move(changed[next++]));
}

void writeChanges(sqlite3* db, const Groups& groups, const std::vector<std::uint8_t>& changed) {
    Statement(db, "INSERT OR REPLACE INTO finder_changes(id, complete, groups, data) VALUES(1, 1, ?, ?)")
        .bindBlob(1, packGroups(groups))
        .bindBlob(2, changed)
        .run();
}

void writeWholeIndex(sqlite3* db, const PlacedIndex& index) {
    const std::vector<std::uint8_t> packed = packFinderIndex(index);
    Statement(db, "DELETE FROM finder_index").run();
    Statement(db, "DELETE FROM finder_changes").run();
    // An index too large for one SQLite value (a billion bytes, some eight million sessions) is
    // not kept whole: the rows answer for it.
    if (packed.size() >= kLargestFinderIndex) return;
    Statement(db, "INSERT INTO finder_index(id, data) VALUES(1, ?)").bindBlob(1, packed).run();
    PlacedIndex unchanged;
    unchanged.header = index.header;
    writeChanges(db, {}, packFinderIndex(unchanged));
}

// The finder's index as kept, absent when it does not hold.
std::optional<DriverIndex> keptDriverIndex(sqlite3* db) {
    Statement changes(db, "SELECT data FROM finder_changes WHERE complete = 1");
    std::optional<Groups> groups = keptGroups(db);
    if (!groups || !changes.step()) return std::nullopt;
    try {
        PlacedIndex changed = unpackFinderIndex(changes.blob(0));
        changes.run();
        DriverIndex index = std::move(changed.header);
        mergeChanges(
            db, *groups, changed.sessions,
            [&](std::size_t count) {
                index.sessions.reserve(count);
                preferHugePages(index.sessions.data(), count * sizeof(FinderSession));
            },
            [&](PlacedSession&& p) { index.sessions.push_back(std::move(p.session)); });
        index.buildLookup();
        return index;
    } catch (const SqliteError&) {
        // Only a copy of what the rows hold: they answer instead.
        changes.run();
        return std::nullopt;
    }
}

}  // namespace

RescanCounts ArchiveIndex::rescanFiles(const std::vector<std::string>& folders, const std::function<bool(long, long)>& progress,
                                       const std::atomic<bool>* stop, const std::function<void(long)>& committed) {
    RescanCounts counts;
    struct Kept {
        FileState state;
        std::int64_t download = 0;  // 0: unreadable
        bool vanished = false;
        bool seen = false;  // met by this rescan's walks
    };
    handedOver_.reset();
    // Read while the walks run, the one busy with SQLite, the other with the file system.
    auto keptFiles = std::async(std::launch::async, [db = db_->handle] {
        std::unordered_map<std::string, Kept> kept;
        Statement s(db, "SELECT path, size, mtime_ns, inode, ifnull(download, 0), vanished IS NOT NULL FROM files");
        while (s.step()) kept.emplace(s.text(0), Kept{{s.integer(1), s.integer(2), s.integer(3)}, s.integer(4), s.integer(5) != 0});
        return kept;
    });
    // A folder's state is taken before its entries are listed, so that a file added meanwhile
    // changes it. A folder changed in the last two seconds may change again within the same tick
    // of the file system's clock, unseen: its state is kept as never current.
    std::vector<std::pair<std::string, FileState>> folderStates;
    const std::int64_t trustedBefore = (static_cast<std::int64_t>(std::time(nullptr)) - 2) * 1000000000;
    std::vector<DownloadWalk> walks;
    std::vector<WalkStates> states(folders.size());
    for (std::size_t i = 0; i < folders.size(); ++i) {
        walks.push_back(findDownloads(folders[i], stop, &states[i]));
        for (const SkippedFile& file : walks.back().skipped) {
            std::fprintf(stderr, "ddd_finder: übersprungen: %s: %s\n", file.path.c_str(), file.reason.c_str());
        }
        counts.files += static_cast<long>(walks.back().files.size());
        for (auto& [folder, state] : states[i].folders) {
            if (state.mtimeNs >= trustedBefore) state.mtimeNs = -1;
            folderStates.emplace_back(std::move(folder), state);
        }
    }
    std::unordered_map<std::string, Kept> kept = keptFiles.get();
    if (stop && *stop) return counts;
    Statement findDownload(db_->handle, "SELECT id FROM downloads WHERE sha256 = ?");
    Statement addDownload(db_->handle,
                          "INSERT INTO downloads(sha256, kind, problem, generation, card_number, driver, nation, surname, first_names, card_expiry,"
                          " vin, registration, registration_known, period_begin, period_end, downloaded, signature, sessions)"
                          " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    Statement putFile(db_->handle, "INSERT OR REPLACE INTO files(path, size, mtime_ns, inode, download, problem, vanished) VALUES(?,?,?,?,?,?,NULL)");
    Statement present(db_->handle, "UPDATE files SET vanished = NULL WHERE path = ?");
    // The kept finder's index no longer holds from the first file changed until the rescan
    // completes; what it held is taken along, so that only the groups of the downloads a change
    // touched are merged again.
    bool finderIndexDropped = false;
    std::optional<Groups> groups;  // changed since the index was written whole, while it holds
    std::unordered_set<std::int64_t> touched;
    const auto changing = [&](std::int64_t download) {
        if (download != 0) touched.insert(download);
        if (finderIndexDropped) return;
        if (folders == this->folders()) groups = keptGroups(db_->handle);
        db_->exec("UPDATE finder_changes SET complete = 0");
        finderIndexDropped = true;
    };
    long sinceCommit = 0;
    long stored = 0;
    const auto commit = [&] {
        db_->exec("COMMIT");
        stored += sinceCommit;
        if (committed && sinceCommit > 0) committed(stored);
        sinceCommit = 0;
    };
    db_->exec("BEGIN IMMEDIATE");
    long done = 0;
    for (std::size_t w = 0; w < walks.size(); ++w) {
        for (std::size_t k = 0; k < walks[w].files.size(); ++k) {
            if ((progress && !progress(done, counts.files)) || (stop && *stop)) {
                commit();
                return counts;
            }
            ++done;
            const std::string& path = walks[w].files[k];
            const FileState state = states[w].files[k];
            const auto found = kept.find(path);
            const std::int64_t was = found == kept.end() ? 0 : found->second.download;
            if (found != kept.end()) found->second.seen = true;
            if (found != kept.end() && was != 0 && found->second.state == state) {
                if (found->second.vanished) {
                    changing(was);
                    present.bind(1, path).run();
                }
                continue;
            }
            ++counts.read;
            const FileRead bytes = readWholeFile(path);
            putFile.bind(1, path).bind(2, state.size).bind(3, state.mtimeNs).bind(4, state.inode);
            if (!bytes) {
                std::fprintf(stderr, "ddd_finder: Datei nicht lesbar, übersprungen: %s: %s\n", path.c_str(), bytes.reason().c_str());
                putFile.bindNull(5).bind(6, bytes.reason()).run();
                changing(was);
                continue;
            }
            const std::string sha = sha256Hex(*bytes);
            std::int64_t id = 0;
            if (findDownload.bind(1, sha).step()) {
                id = findDownload.integer(0);
                findDownload.run();
            } else {
                ++counts.decoded;
                const ReadDownload d = readDownload(*bytes, path);
                const ArchiveDownload& f = d.facts;
                addDownload.bind(1, sha).bind(2, std::string(1, f.kind)).bind(3, f.problem).bind(4, f.generation).bind(5, f.cardNumber);
                addDownload.bind(6, d.driver).bind(7, f.nation).bind(8, f.surname).bind(9, f.firstNames).bind(10, f.cardExpiry);
                addDownload.bind(11, f.vin).bind(12, f.registration).bind(13, d.registrationKnown).bind(14, f.periodBegin);
                addDownload.bind(15, f.periodEnd).bind(16, f.downloaded).bind(17, f.signature).bindBlob(18, packSessions(d.sessions.sessions));
                addDownload.run();
                id = sqlite3_last_insert_rowid(db_->handle);
                addDownloadGroups(db_->handle, id, groupsOf(d.sessions.vehicleUnit, d.sessions.vin, d.sessions.sessions));
            }
            putFile.bind(5, id).bind(6, std::string()).run();
            // A file touched or copied over with the same content leaves the finder's index as it was.
            if (found == kept.end() || was != id || found->second.vanished) {
                changing(was);
                touched.insert(id);
            }
            if (++sinceCommit == kFilesPerTransaction) {
                commit();
                db_->exec("BEGIN IMMEDIATE");
            }
        }
    }
    if (progress && done == counts.files) progress(done, counts.files);

    Statement vanish(db_->handle, "UPDATE files SET vanished = ? WHERE path = ?");
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    for (const auto& [path, file] : kept) {
        if (file.vanished || file.seen) continue;
        changing(file.download);
        vanish.bind(1, now).bind(2, path).run();
        ++counts.vanished;
    }
    // The kept finder's index still holds when no file changed, came back or went, and the walks
    // were the same as last time.
    bool finderIndexHolds = !finderIndexDropped && folders == this->folders();
    if (finderIndexHolds) {
        Statement s(db_->handle, "SELECT folder, path, reason FROM walk_skipped ORDER BY folder, position");
        for (std::size_t i = 0; i < walks.size() && finderIndexHolds; ++i) {
            for (const SkippedFile& file : walks[i].skipped) {
                finderIndexHolds = finderIndexHolds && s.step() && s.integer(0) == static_cast<std::int64_t>(i) && s.text(1) == file.path &&
                                   s.text(2) == file.reason;
            }
        }
        finderIndexHolds = finderIndexHolds && !s.step();
        if (finderIndexHolds) {
            Statement keptIndex(db_->handle, kKeptChangesHold);
            finderIndexHolds = keptIndex.step();
            if (finderIndexHolds) keptIndex.run();
        }
        if (!finderIndexHolds && !finderIndexDropped) groups = keptGroups(db_->handle);
    }
    // The groups whose sessions a change touched; then the contents no file holds any more,
    // replaced or gone with every path they had.
    if (!finderIndexHolds && !groups) {
        db_->exec("DELETE FROM downloads WHERE id NOT IN (SELECT download FROM files WHERE download IS NOT NULL);"
                  "DELETE FROM download_groups WHERE download NOT IN (SELECT id FROM downloads)");
    } else if (!finderIndexHolds) {
        Statement groupsOfDownload(db_->handle, "SELECT grp FROM download_groups WHERE download = ?");
        Statement unused(db_->handle, "SELECT 1 FROM files WHERE download = ?");
        Statement drop(db_->handle, "DELETE FROM downloads WHERE id = ?");
        Statement dropGroups(db_->handle, "DELETE FROM download_groups WHERE download = ?");
        for (const std::int64_t id : touched) {
            groupsOfDownload.bind(1, id);
            while (groupsOfDownload.step()) groups->add(groupsOfDownload.text(0));
            if (unused.bind(1, id).step()) {
                unused.run();
                continue;
            }
            drop.bind(1, id).run();
            dropGroups.bind(1, id).run();
        }
    }
    db_->exec("DELETE FROM folders; DELETE FROM walk_skipped");
    db_->exec("DELETE FROM folder_states");
    Statement addFolderState(db_->handle, "INSERT OR REPLACE INTO folder_states(path, size, mtime_ns, inode) VALUES(?,?,?,?)");
    for (const auto& [folder, state] : folderStates) {
        addFolderState.bind(1, folder).bind(2, state.size).bind(3, state.mtimeNs).bind(4, state.inode).run();
    }
    Statement addFolder(db_->handle, "INSERT INTO folders(position, path) VALUES(?, ?)");
    Statement addSkipped(db_->handle, "INSERT INTO walk_skipped(folder, position, path, reason) VALUES(?,?,?,?)");
    for (std::size_t i = 0; i < folders.size(); ++i) {
        addFolder.bind(1, static_cast<std::int64_t>(i)).bind(2, folders[i]).run();
        for (std::size_t k = 0; k < walks[i].skipped.size(); ++k) {
            addSkipped.bind(1, static_cast<std::int64_t>(i)).bind(2, static_cast<std::int64_t>(k)).bind(3, walks[i].skipped[k].path);
            addSkipped.bind(4, walks[i].skipped[k].reason).run();
        }
    }
    std::optional<PlacedIndex> whole;
    if (!finderIndexHolds && groups) {
        PlacedIndex changed;
        changed.header = finderIndexHeader(db_->handle, folders);
        changed.sessions = placedSessions(db_->handle, folders, &*groups);
        const std::vector<std::uint8_t> packed = packFinderIndex(changed);
        if (static_cast<std::int64_t>(packed.size()) * 4 < db_->pragma("SELECT length(data) FROM finder_index")) {
            writeChanges(db_->handle, *groups, packed);
        } else {
            whole.emplace();
            whole->header = std::move(changed.header);
            mergeChanges(
                db_->handle, *groups, changed.sessions, [&](std::size_t count) { whole->sessions.reserve(count); },
                [&](PlacedSession&& p) { whole->sessions.push_back(std::move(p)); });
        }
    } else if (!finderIndexHolds) {
        whole = placedIndex(db_->handle, folders);
    }
    if (whole) writeWholeIndex(db_->handle, *whole);
    commit();
    // What the finder asks for next.
    if (whole) handedOver_ = finderIndexOf(std::move(*whole));
    counts.complete = true;
    return counts;
}

DriverIndex ArchiveIndex::driverIndex() const {
    if (handedOver_) {
        DriverIndex index = std::move(*handedOver_);
        handedOver_.reset();
        return index;
    }
    if (std::optional<DriverIndex> kept = keptDriverIndex(db_->handle)) return std::move(*kept);
    return finderIndexOf(placedIndex(db_->handle, folders()));
}

std::vector<ArchiveDownload> ArchiveIndex::downloads() const {
    const std::vector<PresentFile> files =
        presentFiles(db_->handle, folders(), "SELECT path, problem, download FROM files WHERE vanished IS NULL AND download IS NOT NULL");
    Statement s(db_->handle,
                "SELECT kind, problem, generation, card_number, nation, surname, first_names, card_expiry, vin, registration,"
                " period_begin, period_end, downloaded, signature, sha256, driver FROM downloads WHERE id = ?");
    std::vector<ArchiveDownload> out;
    std::unordered_set<std::int64_t> met;
    for (const PresentFile& file : files) {
        if (!met.insert(file.download).second || !s.bind(1, file.download).step()) continue;
        ArchiveDownload d;
        d.path = file.path;
        d.kind = s.text(0).empty() ? 'U' : s.text(0)[0];
        d.problem = s.text(1);
        d.generation = static_cast<int>(s.integer(2));
        d.cardNumber = s.text(3);
        d.nation = static_cast<int>(s.integer(4));
        d.surname = s.text(5);
        d.firstNames = s.text(6);
        d.cardExpiry = s.integer(7);
        d.vin = s.text(8);
        d.registration = s.text(9);
        d.periodBegin = s.integer(10);
        d.periodEnd = s.integer(11);
        d.downloaded = s.integer(12);
        d.signature = s.text(13);
        d.sha256 = s.text(14);
        d.driver = s.text(15);
        s.run();
        out.push_back(std::move(d));
    }
    return out;
}

std::vector<std::string> ArchiveIndex::driverDownloads(int nation, const std::string& card) const {
    Statement s(db_->handle,
                "SELECT f.path FROM files f JOIN downloads d ON d.id = f.download"
                " WHERE f.vanished IS NULL AND d.kind = 'C' AND d.nation = ? AND d.driver = ?");
    s.bind(1, nation).bind(2, card);
    std::vector<std::string> paths;
    while (s.step()) paths.push_back(s.text(0));
    const std::vector<std::string> roots = folders();
    std::sort(paths.begin(), paths.end(), [&](const std::string& a, const std::string& b) {
        const std::size_t ra = rootOf(roots, a), rb = rootOf(roots, b);
        return ra != rb ? ra < rb : walksBefore(a, b);
    });
    return paths;
}

std::optional<DownloadWalk> ArchiveIndex::driverCandidates(const std::string& opened) const {
    std::int64_t nation = 0;
    std::string driver;
    {
        Statement s(db_->handle,
                    "SELECT f.size, f.mtime_ns, f.inode, d.kind, d.nation, d.driver FROM files f JOIN downloads d ON d.id = f.download"
                    " WHERE f.path = ? AND f.vanished IS NULL");
        if (!s.bind(1, opened).step()) return std::nullopt;
        const bool current = FileState{s.integer(0), s.integer(1), s.integer(2)} == stateOf(opened) && s.text(3) == "C";
        nation = s.integer(4);
        driver = s.text(5);
        s.run();
        if (!current) return std::nullopt;
    }
    const std::size_t slash = opened.rfind('/');
    if (slash == std::string::npos || slash == 0) return std::nullopt;
    const std::string folder = opened.substr(0, slash);
    const auto [below, above] = pathsUnder(folder);

    // A folder whose state changed may hold files the index has not seen, or no longer hold some.
    Statement states(db_->handle, "SELECT path, size, mtime_ns, inode FROM folder_states WHERE path = ? OR (path >= ? AND path < ?)");
    states.bind(1, folder).bind(2, below).bind(3, above);
    bool folderKnown = false;
    while (states.step()) {
        const std::string path = states.text(0);
        if (FileState{states.integer(1), states.integer(2), states.integer(3)} != stateOf(path)) {
            states.run();
            return std::nullopt;
        }
        folderKnown = folderKnown || path == folder;
    }
    if (!folderKnown) return std::nullopt;

    DownloadWalk walk;
    Statement skipped(db_->handle, "SELECT path, reason FROM walk_skipped WHERE path >= ? AND path < ? ORDER BY folder, position");
    skipped.bind(1, below).bind(2, above);
    while (skipped.step()) walk.skipped.push_back({skipped.text(0), skipped.text(1)});
    // A folder too deep below the scanned one may lie within reach of a walk from the opened file's.
    for (const SkippedFile& s : walk.skipped) {
        if (s.reason.starts_with("zu tief")) return std::nullopt;
    }
    for (std::string& path : driverDownloads(static_cast<int>(nation), driver)) {
        if (path.starts_with(below)) walk.files.push_back(std::move(path));
    }
    // Files that could not be read are read again, so that they are named as a walk names them.
    Statement unreadable(db_->handle, "SELECT path FROM files WHERE download IS NULL AND vanished IS NULL AND path >= ? AND path < ?");
    unreadable.bind(1, below).bind(2, above);
    while (unreadable.step()) walk.files.push_back(unreadable.text(0));
    std::sort(walk.files.begin(), walk.files.end(), walksBefore);
    return walk;
}

}  // namespace ddd::finder
