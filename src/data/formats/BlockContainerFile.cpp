#include "data/formats/BlockContainerFile.h"

#include <sys/types.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <mutex>

#include "data/formats/SettingsDataFile.h"
#include "data/model/ColumnFill.h"
#include "data/model/RefPtr.h"
#include "data/model/SaveSnapshot.h"
#include "data/platform/NumberText.h"
#include "data/platform/SafeFile.h"
#include "data/platform/Workers.h"

namespace kurvex {

static_assert(std::endian::native == std::endian::little,
              "samples are copied between memory and the file as little-endian bytes");

namespace {

constexpr char kBanner[] = " Kurvex file from Quellon Inc.  simulation result data file   ";
constexpr size_t kBannerBytes = 40;
constexpr std::int64_t kUserHeaderBytes = 1024;
constexpr std::int64_t kUserHeaderFields = 24;  // 7, 0, 0, 0, N, P
constexpr size_t kUserHeaderDescriptor = 64;
constexpr size_t kDirectoryDescriptor = 88;
constexpr size_t kStepField = 112;
constexpr size_t kEntrySizeField = 116;
constexpr size_t kFileEndField = 120;
constexpr std::uint32_t kMaxEntryBytes = 4096;
// A reader may allocate this much beyond twice the file's size (missing rows
// of variables the file leaves out) before it calls the file's claims false.
constexpr std::int64_t kAllocationSlack = std::int64_t{16} << 20;
// What a variable costs in memory beyond its 9 bytes a row.
constexpr std::int64_t kVariableOverhead = 128;

const char* const kInvalidType = "Invalid File Type";
const char* const kHeaderFault = "Can Not Open File. (Error code : Filer #1510)";
const char* const kDirectoryFault = "Can Not Open File. (Error code : Filer #1511)";
const char* const kFlushFault = "Can Not Close File. (Error code : Filer #1521)";
const char* const kReplaceFault = "Can Not Close File. (Error code : Filer #1522)";

std::uint64_t AreaBytes(std::uint64_t content) {
    return (content / kBlockContainerStep + 1) * kBlockContainerStep;
}

void Put32(std::uint8_t* at, std::uint32_t v) {
    std::memcpy(at, &v, 4);
}
std::uint32_t Get32(const std::uint8_t* at) {
    std::uint32_t v;
    std::memcpy(&v, at, 4);
    return v;
}
std::uint64_t Get64(const std::uint8_t* at) {
    std::uint64_t v;
    std::memcpy(&v, at, 8);
    return v;
}

void PutDescriptor(std::uint8_t* at, std::uint64_t offset, std::uint64_t used,
                   std::uint64_t allocated) {
    Put32(at, static_cast<std::uint32_t>(offset));
    Put32(at + 4, static_cast<std::uint32_t>(used));
    Put32(at + 8, static_cast<std::uint32_t>(allocated));
    Put32(at + 12, static_cast<std::uint32_t>(offset >> 32));
}

void PutEntry(std::uint8_t* at, const BlockEntry& e) {
    Put32(at, e.type);
    Put32(at + 4, e.flags);
    Put32(at + 8, e.kind);
    Put32(at + 12, static_cast<std::uint32_t>(e.index));
    Put32(at + 16, static_cast<std::uint32_t>(e.first));
    Put32(at + 20, static_cast<std::uint32_t>(e.count));
    std::memcpy(at + 24, &e.offset, 8);
    std::memcpy(at + 32, &e.size, 8);
    std::memcpy(at + 40, &e.allocated, 8);
}

BlockEntry GetEntry(const std::uint8_t* at) {
    BlockEntry e;
    e.type = Get32(at);
    e.flags = Get32(at + 4);
    e.kind = Get32(at + 8);
    e.index = static_cast<std::int32_t>(Get32(at + 12));
    e.first = static_cast<std::int32_t>(Get32(at + 16));
    e.count = static_cast<std::int32_t>(Get32(at + 20));
    e.offset = Get64(at + 24);
    e.size = Get64(at + 32);
    e.allocated = Get64(at + 40);
    return e;
}

class Writer {
public:
    explicit Writer(std::FILE* f) : f_(f) {}
    void Bytes(const void* p, size_t n) {
        if (ok_ && n && std::fwrite(p, 1, n, f_) != n) ok_ = false;
    }
    void Zeros(std::uint64_t n) {
        static const char zeros[4096] = {};
        while (n > 0) {
            const size_t m = static_cast<size_t>(std::min<std::uint64_t>(n, sizeof zeros));
            Bytes(zeros, m);
            n -= m;
        }
    }
    // Pads the area of `e` after its content.
    void Pad(const BlockEntry& e) { Zeros(e.allocated - e.size); }
    bool Ok() const { return ok_; }

private:
    std::FILE* f_;
    bool ok_ = true;
};

void Report(UserMessages& messages, const std::string& cause, const std::string& text) {
    messages.Show(cause + "\r\n\r\n" + text, MessageIcon::Stop);
}

// Each name with its index and length, and a zero after it.
std::vector<std::uint8_t> NameTableBytes(const SaveSnapshot& snap) {
    std::vector<std::uint8_t> names;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(snap.vars.size()); ++i) {
        const std::string& name = snap.vars[static_cast<size_t>(i)]->Name();
        std::uint8_t head[8];
        Put32(head, static_cast<std::uint32_t>(i));
        Put32(head + 4, static_cast<std::uint32_t>(name.size() + 1));
        names.insert(names.end(), head, head + 8);
        names.insert(names.end(), name.begin(), name.end());
        names.push_back(0);
    }
    return names;
}

// Where every area of the file lies. Every area is placed before anything is
// written, so the file goes out in one sequential pass.
struct ContainerLayout {
    BlockEntry nameTable;
    BlockEntry directory;
    std::vector<BlockEntry> entries;  // the name table, the data, the settings
    std::uint64_t end = kBlockContainerHeaderBytes + AreaBytes(kUserHeaderBytes);

    void Place(BlockEntry& e, std::uint64_t size) {
        e.offset = end;
        e.size = size;
        e.allocated = AreaBytes(size);
        end += e.allocated;
    }
};

ContainerLayout PlaceAreas(const SaveSnapshot& snap, std::uint64_t nameBytes,
                           const std::vector<CIOBuffer>& settings) {
    const auto n = static_cast<std::int32_t>(snap.vars.size());
    const std::int32_t p = snap.rows;
    ContainerLayout layout;
    BlockEntry& nameTable = layout.nameTable;
    nameTable.type = kBlockNames;
    nameTable.index = -1;
    nameTable.count = n;
    layout.Place(nameTable, nameBytes);
    layout.entries.push_back(nameTable);

    const std::uint64_t reserved = 3 * static_cast<std::uint64_t>(n) + 10 + settings.size();
    const std::uint64_t directoryUsed =
        4 + (1 + static_cast<std::uint64_t>(n) + settings.size()) * kBlockEntryBytes;
    layout.Place(layout.directory, 4 + reserved * kBlockEntryBytes);
    layout.directory.size = directoryUsed;

    for (std::int32_t i = 0; i < n; ++i) {
        BlockEntry e;
        e.type = kBlockData;
        if (i == 0 && snap.uniformX) e.flags = kRecordUniformX;
        if (i > 0 && snap.badPoints) e.flags = kRecordBadPoints | kRecordPointFlags;
        e.kind = static_cast<std::uint32_t>(snap.vars[static_cast<size_t>(i)]->Kind());
        e.index = i;
        e.count = p;
        const std::uint64_t samples =
            (e.flags & kRecordUniformX) ? 24 : 8 * static_cast<std::uint64_t>(p);
        const std::uint64_t flags = (e.flags & kRecordPointFlags) ? p : 0;
        layout.Place(e, kDataBlockReserved + samples + flags);
        layout.entries.push_back(e);
    }
    for (const CIOBuffer& s : settings) {
        BlockEntry e;
        e.type = kBlockSettings;
        layout.Place(e, s.Size());
        layout.entries.push_back(e);
    }
    return layout;
}

// The file's header and the user header after it.
std::vector<std::uint8_t> HeaderBytes(const ContainerLayout& layout, const SaveSnapshot& snap) {
    std::vector<std::uint8_t> header(kBlockContainerHeaderBytes + AreaBytes(kUserHeaderBytes), 0);
    Put32(&header[0], kBlockContainerMagic);
    Put32(&header[4], kBlockContainerVersion);
    Put32(&header[8], 0);
    Put32(&header[12], 100);
    Put32(&header[16], 2);
    Put32(&header[20], kBlockContainerFeatures);
    std::memcpy(&header[24], kBanner, kBannerBytes - 1);
    PutDescriptor(&header[kUserHeaderDescriptor], kBlockContainerHeaderBytes, kUserHeaderBytes,
                  AreaBytes(kUserHeaderBytes));
    PutDescriptor(&header[kDirectoryDescriptor], layout.directory.offset, layout.directory.size,
                  layout.directory.allocated);
    Put32(&header[kStepField], kBlockContainerStep);
    Put32(&header[kEntrySizeField], kBlockEntryBytes);
    std::memcpy(&header[kFileEndField], &layout.end, 8);
    std::uint8_t* user = &header[kBlockContainerHeaderBytes];
    Put32(user, 7);
    Put32(user + 16, static_cast<std::uint32_t>(snap.vars.size()));
    Put32(user + 20, static_cast<std::uint32_t>(snap.rows));
    return header;
}

std::vector<std::uint8_t> DirectoryBytes(const ContainerLayout& layout) {
    std::vector<std::uint8_t> table(layout.directory.allocated, 0);
    Put32(table.data(), static_cast<std::uint32_t>(layout.entries.size()));
    for (size_t k = 0; k < layout.entries.size(); ++k)
        PutEntry(&table[4 + k * kBlockEntryBytes], layout.entries[k]);
    return table;
}

// The data blocks and the settings blocks, in file order, each padded to its area.
void WriteBlocks(Writer& w, const SaveSnapshot& snap, const ContainerLayout& layout,
                 const std::vector<CIOBuffer>& settings) {
    const auto n = static_cast<std::int32_t>(snap.vars.size());
    const std::int32_t p = snap.rows;
    for (std::int32_t i = 0; i < n && w.Ok(); ++i) {
        const BlockEntry& e = layout.entries[1 + static_cast<size_t>(i)];
        const CResultVariable* v = snap.vars[static_cast<size_t>(i)].get();
        const double* x = v->Values();
        w.Zeros(kDataBlockReserved);
        if (e.flags & kRecordUniformX) {
            const double head[3] = {x[0], x[p - 1], p > 1 ? x[1] - x[0] : 0.0};
            w.Bytes(head, sizeof head);
        } else {
            w.Bytes(x, sizeof(double) * static_cast<size_t>(p));
        }
        if (e.flags & kRecordPointFlags) w.Bytes(v->Flags(), static_cast<size_t>(p));
        w.Pad(e);
    }
    for (size_t k = 0; k < settings.size() && w.Ok(); ++k) {
        w.Bytes(settings[k].Data(), settings[k].Size());
        w.Pad(layout.entries[1 + static_cast<size_t>(n) + k]);
    }
}

}  // namespace

bool WriteBlockContainer(const CResultDataRef& data, const std::string& path, const char* prefix,
                         const std::vector<CIOBuffer>& settings, UserMessages& messages) {
    for (const CIOBuffer& s : settings) {
        if (s.Size() > kIOBufferMaxTransfer) {
            messages.Show(CIOBufferException(CIOBufferException::kTooLarge).what(),
                          MessageIcon::Stop);
            return false;
        }
    }
    SaveSnapshot snap;
    if (!TakeSaveSnapshot(data, prefix, snap) || snap.Empty()) {
        messages.Show("There is no data to save.", MessageIcon::Exclamation);
        return false;
    }
    const std::vector<std::uint8_t> names = NameTableBytes(snap);
    const ContainerLayout layout = PlaceAreas(snap, names.size(), settings);
    // The area descriptors keep the low and high halves of an offset but
    // only 32 bits of a size; directories this large are never written.
    if (layout.directory.allocated > std::numeric_limits<std::uint32_t>::max()) {
        messages.Show(Format("Cannot write \"%s\": the data set has too many variables for this "
                             "format.",
                             path.c_str()),
                      MessageIcon::Stop);
        return false;
    }
    const std::vector<std::uint8_t> header = HeaderBytes(layout, snap);
    const std::vector<std::uint8_t> table = DirectoryBytes(layout);

    SafeFile out;
    if (!out.Open(path)) {
        Report(messages, out.Error(), Format("Can not open file %s", path.c_str()));
        return false;
    }
    Writer w(out.Stream());
    w.Bytes(header.data(), header.size());
    w.Bytes(names.data(), names.size());
    w.Pad(layout.nameTable);
    w.Bytes(table.data(), table.size());
    WriteBlocks(w, snap, layout, settings);
    if (!w.Ok()) {
        Report(messages, std::strerror(errno), Format("Can not write to file %s", path.c_str()));
        return false;
    }
    if (std::fflush(out.Stream()) != 0) {
        Report(messages, std::strerror(errno), kFlushFault);
        return false;
    }
    if (!out.Commit()) {
        Report(messages, out.Error(), kReplaceFault);
        return false;
    }
    return true;
}

namespace {

// What one read found in the directory, checked before anything is allocated.
struct Plan {
    std::int32_t n = 0;
    std::int32_t rows = 0;
    std::vector<BlockEntry> names;
    std::vector<BlockEntry> data;
    std::vector<BlockEntry> streams;
};

class Reader {
public:
    Reader(std::FILE* f, const std::string& name, UserMessages& messages)
        : f_(f), name_(name), messages_(messages) {}

    bool Refuse(const std::string& cause, const std::string& text) {
        if (!failed_) Report(messages_, cause, text);
        failed_ = true;
        return false;
    }
    // The file's contents contradict themselves or its size.
    bool Damaged(const std::string& why) {
        return Refuse("The file is damaged: " + why + ".",
                      Format("Can not read file %s", name_.c_str()));
    }
    bool Seek(std::uint64_t at) {
        if (::fseeko(f_, static_cast<off_t>(at), SEEK_SET) == 0) return true;
        return Refuse(std::strerror(errno), Format("Error while accessing file %s", name_.c_str()));
    }
    // Reads exactly n bytes the caller has found inside the file.
    bool Bytes(void* p, size_t n) {
        if (n == 0 || std::fread(p, 1, n, f_) == n) return true;
        return Refuse(std::ferror(f_) ? std::strerror(errno) : "The file ends too soon.",
                      Format("Can not read file %s", name_.c_str()));
    }
    bool At(std::uint64_t at, void* p, size_t n) { return Seek(at) && Bytes(p, n); }

    bool Run(CResultDataRef& data, std::vector<CIOBuffer>& settings);

private:
    bool ReadHeader(Plan& plan);
    bool ReadDirectory(const std::uint8_t* header, Plan& plan);
    bool CheckBlocks(Plan& plan);
    bool Fill(const Plan& plan, CResultDataRef& fresh);

    std::FILE* f_;
    const std::string& name_;
    UserMessages& messages_;
    std::uint64_t size_ = 0;
    bool failed_ = false;
};

bool Reader::Run(CResultDataRef& data, std::vector<CIOBuffer>& settings) {
    if (::fseeko(f_, 0, SEEK_END) != 0)
        return Refuse(std::strerror(errno), Format("Error while accessing file %s", name_.c_str()));
    const off_t end = ::ftello(f_);
    if (end < 0)
        return Refuse(std::strerror(errno), Format("Error while accessing file %s", name_.c_str()));
    size_ = static_cast<std::uint64_t>(end);
    Plan plan;
    if (!ReadHeader(plan) || !CheckBlocks(plan)) return false;

    std::vector<CIOBuffer> streams;
    for (const BlockEntry& e : plan.streams) {
        // The same bound as a settings block of the other binary format.
        if (e.size > kIOBufferMaxTransfer) {
            messages_.Show(CIOBufferException(CIOBufferException::kTooLarge).what(),
                           MessageIcon::Stop);
            continue;
        }
        std::string bytes(static_cast<size_t>(e.size), '\0');
        if (!At(e.offset, bytes.data(), bytes.size())) return false;
        CIOBuffer& s = streams.emplace_back();
        s.Assign(bytes);
        s.SetMode(kIOBufferLoad);
    }
    CResultDataRef fresh;
    if (!Fill(plan, fresh)) return false;
    data = fresh;
    settings = std::move(streams);
    return true;
}

bool Reader::ReadHeader(Plan& plan) {
    std::uint8_t header[kBlockContainerHeaderBytes] = {};
    const size_t got = static_cast<size_t>(std::min<std::uint64_t>(size_, sizeof header));
    if (!At(0, header, got)) return false;
    if (got < 4 || Get32(header) != kBlockContainerMagic)
        return Refuse("The file is not a Kurvex block container.", kInvalidType);
    if (got < sizeof header) return Refuse("The file ends inside its header.", kHeaderFault);
    if ((Get32(header + 20) & kBlockContainerFeatures) == 0)
        return Refuse("The file was written with features this program does not know.",
                      kHeaderFault);
    const std::uint8_t* d = header + kUserHeaderDescriptor;
    const std::uint64_t at = Get32(d) | std::uint64_t{Get32(d + 12)} << 32;
    const std::uint64_t used = Get32(d + 4);
    if (used < kUserHeaderFields || at > size_ || used > size_ - at)
        return Refuse("Its header block lies outside the file.", kHeaderFault);
    std::uint8_t fields[kUserHeaderFields];
    if (!At(at, fields, sizeof fields)) return false;
    plan.n = static_cast<std::int32_t>(Get32(fields + 16));
    const auto p = static_cast<std::int32_t>(Get32(fields + 20));
    if (plan.n < 0 || p < 0)
        return Refuse(Format("The file claims %d variables of %d points.", plan.n, p),
                      kHeaderFault);
    return ReadDirectory(header, plan);
}

bool Reader::ReadDirectory(const std::uint8_t* header, Plan& plan) {
    const std::uint32_t entryBytes = Get32(header + kEntrySizeField);
    if (entryBytes < kBlockEntryBytes || entryBytes > kMaxEntryBytes)
        return Refuse(Format("Its directory entries are %u bytes long.", entryBytes),
                      kDirectoryFault);
    const std::uint8_t* d = header + kDirectoryDescriptor;
    const std::uint64_t at = Get32(d) | std::uint64_t{Get32(d + 12)} << 32;
    const std::uint64_t used = Get32(d + 4);
    if (at > size_ || size_ - at < 4 || used < 4 || used > size_ - at)
        return Refuse("Its block directory lies outside the file.", kDirectoryFault);
    std::uint8_t countBytes[4];
    if (!At(at, countBytes, 4)) return false;
    const std::uint64_t count = Get32(countBytes);
    if (count > (used - 4) / entryBytes)
        return Refuse(
            Format("Its block directory claims %llu entries in %llu bytes.",
                   static_cast<unsigned long long>(count), static_cast<unsigned long long>(used)),
            kDirectoryFault);
    std::vector<std::uint8_t> table(static_cast<size_t>(count * entryBytes));
    if (!Bytes(table.data(), table.size())) return false;
    for (std::uint64_t k = 0; k < count; ++k) {
        const BlockEntry e = GetEntry(&table[static_cast<size_t>(k * entryBytes)]);
        if (e.type == kBlockNames)
            plan.names.push_back(e);
        else if (e.type == kBlockData && e.kind == kVariableRead)
            plan.data.push_back(e);
        else if (e.type == kBlockSettings)
            plan.streams.push_back(e);
    }
    return true;
}

bool Reader::CheckBlocks(Plan& plan) {
    std::vector<const BlockEntry*> read;
    std::int64_t rows = 0, stored = 0, generatedRows = 0;
    for (const BlockEntry& e : plan.names) {
        if (e.first < 0 || e.count < 0 || std::int64_t{e.first} + e.count > plan.n)
            return Damaged(Format("a name table covers names %d to %lld of %d", e.first,
                                  static_cast<long long>(e.first) + e.count - 1, plan.n));
        read.push_back(&e);
    }
    for (const BlockEntry& e : plan.data) {
        if (e.index < 0 || e.index >= plan.n || e.first < 0 || e.count < 0 ||
            std::int64_t{e.first} + e.count > std::numeric_limits<std::int32_t>::max())
            return Damaged(Format("a data block covers rows %d to %lld of variable %d", e.first,
                                  static_cast<long long>(e.first) + e.count - 1, e.index));
        const bool generated = e.index == 0 && (e.flags & kRecordUniformX);
        const std::uint64_t need = kDataBlockReserved +
                                   (generated ? 24 : 8 * std::uint64_t(e.count)) +
                                   ((e.flags & kRecordPointFlags) ? e.count : 0);
        if (e.size < need)
            return Damaged(
                Format("the data block of variable %d is too short for %d rows", e.index, e.count));
        rows = std::max(rows, std::int64_t{e.first} + e.count);
        if (generated)
            generatedRows += e.count;
        else
            stored = std::max(stored, std::int64_t{e.first} + e.count);
        read.push_back(&e);
    }
    for (const BlockEntry& e : plan.streams) read.push_back(&e);
    for (const BlockEntry* e : read) {
        if (e->offset > size_ || e->size > size_ - e->offset)
            return Damaged(Format("a block lies past its end (%llu bytes at %llu of %llu)",
                                  static_cast<unsigned long long>(e->size),
                                  static_cast<unsigned long long>(e->offset),
                                  static_cast<unsigned long long>(size_)));
    }
    // Blocks that share bytes could make a small file claim a huge data set
    // or a long read.
    std::sort(read.begin(), read.end(),
              [](const BlockEntry* a, const BlockEntry* b) { return a->offset < b->offset; });
    for (size_t k = 1; k < read.size(); ++k) {
        if (read[k]->offset < read[k - 1]->offset + read[k - 1]->size)
            return Damaged(Format("two blocks overlap at byte %llu",
                                  static_cast<unsigned long long>(read[k]->offset)));
    }
    // A generated X costs 24 bytes on file for any number of rows.
    if (rows > std::max<std::int64_t>(stored, kMaxGeneratedRows) || generatedRows > rows)
        return Damaged(Format("%lld points of a generated X are more than this program reads",
                              static_cast<long long>(std::max(rows, generatedRows))));
    const std::int64_t perVariable = 9 * rows + kVariableOverhead;
    const std::int64_t budget = 2 * static_cast<std::int64_t>(size_) + 9 * rows + kAllocationSlack;
    if (rows > 0 && plan.n > budget / perVariable)
        return Damaged(Format("it claims %d variables of %lld points but holds far fewer", plan.n,
                              static_cast<long long>(rows)));
    plan.rows = static_cast<std::int32_t>(rows);
    return true;
}

bool Reader::Fill(const Plan& plan, CResultDataRef& fresh) {
    const std::int32_t n = plan.n, p = plan.rows;
    if (n == 0 || p == 0) {
        fresh.Initialise(kDataSetPlain, 0, 0, 100);
        return true;
    }
    std::vector<std::string> names(static_cast<size_t>(n));
    std::vector<bool> named(static_cast<size_t>(n), false);
    for (const BlockEntry& e : plan.names) {
        std::vector<std::uint8_t> b(static_cast<size_t>(e.size));
        if (!At(e.offset, b.data(), b.size())) return false;
        size_t pos = 0;
        for (std::int32_t k = 0; k < e.count; ++k) {
            if (b.size() - pos < 8) return Damaged("a name table ends too soon");
            const auto index = static_cast<std::int32_t>(Get32(&b[pos]));
            const std::uint32_t length = Get32(&b[pos + 4]);
            pos += 8;
            if (index < 0 || index >= n)
                return Damaged(Format("a name table names variable %d of %d", index, n));
            if (length > b.size() - pos)
                return Damaged(Format("the name of variable %d is %u bytes long", index, length));
            // A name that ends at its first byte is no name: it takes the default.
            const char* text = reinterpret_cast<const char*>(&b[pos]);
            const size_t chars = length > 1 ? strnlen(text, length - 1) : 0;
            names[static_cast<size_t>(index)].assign(text, chars);
            named[static_cast<size_t>(index)] = chars > 0;
            pos += length;
        }
    }

    if (!fresh.Initialise(kDataSetPlain, n, p, 100))
        return Refuse("There is not enough memory for its data.",
                      Format("Can not read file %s", name_.c_str()));
    CResultData* set = fresh.Get();
    std::lock_guard<std::recursive_mutex> hold(set->Lock());
    for (std::int32_t i = 0; i < n; ++i) {
        if (named[static_cast<size_t>(i)])
            set->SetVariableName(i, names[static_cast<size_t>(i)]);
        else
            set->SetVariableName(i, DefaultVariableName(i));
    }

    // Rows per variable that some block fills; the rest stay missing.
    std::vector<std::vector<std::pair<std::int32_t, std::int32_t>>> covered(static_cast<size_t>(n));
    std::vector<ColumnJob> jobs;
    bool bad = false;
    int xBlocks = 0;
    bool xGenerated = false;
    for (const BlockEntry& e : plan.data) {
        if (e.count == 0) continue;
        CResultVariable* v = set->Variable(e.index);
        const bool generated = e.index == 0 && (e.flags & kRecordUniformX);
        const std::uint64_t samples = e.offset + kDataBlockReserved;
        ColumnJob values;
        values.into = v->Values() + e.first;
        values.count = e.count;
        if (generated) {
            double head[3];
            if (!At(samples, head, sizeof head)) return false;
            values.kind = ColumnJob::Kind::Generate;
            values.first = head[0];
            values.step = head[2];
        } else {
            values.offset = samples;
            values.count = 8 * std::int64_t{e.count};
        }
        jobs.push_back(values);
        ColumnJob flags;
        flags.into = v->Flags() + e.first;
        flags.count = e.count;
        if (e.flags & kRecordPointFlags) {
            // Flags without the mark would otherwise be lost on the next save.
            flags.offset = samples + (generated ? 24 : 8 * std::uint64_t(e.count));
            flags.flags = true;
        } else {
            flags.kind = ColumnJob::Kind::MarkValid;
        }
        jobs.push_back(flags);
        if (e.flags & kRecordBadPoints) bad = true;
        if (e.index == 0) {
            ++xBlocks;
            xGenerated = generated;
        }
        covered[static_cast<size_t>(e.index)].emplace_back(e.first, e.first + e.count);
    }
    // Blocks over the same rows are taken in directory order, the later one
    // winning; all others go in parallel.
    bool overlap = false;
    for (auto& spans : covered) {
        std::sort(spans.begin(), spans.end());
        for (size_t k = 1; k < spans.size(); ++k)
            overlap = overlap || spans[k].first < spans[k - 1].second;
    }
    const int workers = WorkerCount();
    const FillResult filled = FillColumns(f_, jobs, overlap, workers);
    if (!filled.ok)
        return Refuse(filled.error ? std::strerror(filled.error) : "The file ends too soon.",
                      Format("Can not read file %s", name_.c_str()));
    if (filled.notValid) bad = true;
    bool xWhole = false;
    for (size_t i = 0; i < covered.size(); ++i) {
        const auto& spans = covered[i];
        std::int32_t reach = 0;
        for (const auto& [from, to] : spans) {
            if (from > reach) break;
            reach = std::max(reach, to);
        }
        if (reach < p) bad = true;
        if (i == 0) xWhole = reach >= p;
    }
    set->SetBadPoints(bad);
    if (xBlocks == 1)
        set->SetUniformX(xGenerated);
    else if (xBlocks > 1 && xWhole)
        set->SetUniformX(
            CResultDataRef::UniformTest(set->Variable(0)->Values(), 0, p - 1, workers));

    set->SetRowCountLocked(p);
    set->UpdateExtents(workers);
    return true;
}

}  // namespace

bool ReadBlockContainer(std::FILE* file, const std::string& name, CResultDataRef& data,
                        std::vector<CIOBuffer>& settings, UserMessages& messages) {
    Reader r(file, name, messages);
    return r.Run(data, settings);
}

bool ReadBlockContainer(const std::string& path, CResultDataRef& data,
                        std::vector<CIOBuffer>& settings, UserMessages& messages) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        Report(messages, std::strerror(errno), Format("Can not open file %s", path.c_str()));
        return false;
    }
    const bool read = ReadBlockContainer(file, path, data, settings, messages);
    std::fclose(file);
    return read;
}

}  // namespace kurvex
