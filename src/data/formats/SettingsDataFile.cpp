#include "data/formats/SettingsDataFile.h"

#include <sys/types.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <vector>

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

constexpr std::int64_t kHeaderBytes = 20;
constexpr std::int64_t kReservedAfterOffsets = 1000;
constexpr std::int64_t kRecordReserved = 100;
constexpr std::int64_t kRecordFixed = kRecordReserved + 4 + 4;  // reserved, L, flags

class Writer {
public:
    explicit Writer(std::FILE* f) : f_(f) {}
    void U32(std::uint32_t v) { Bytes(&v, sizeof v); }
    void Bytes(const void* p, size_t n) {
        if (ok_ && n && std::fwrite(p, 1, n, f_) != n) ok_ = false;
    }
    void Zeros(size_t n) {
        static const char zeros[1024] = {};
        while (n > 0) {
            const size_t m = std::min(n, sizeof zeros);
            Bytes(zeros, m);
            n -= m;
        }
    }
    std::int64_t Tell() const { return ok_ ? static_cast<std::int64_t>(::ftello(f_)) : -1; }
    bool Seek(std::int64_t at) {
        if (ok_ && ::fseeko(f_, static_cast<off_t>(at), SEEK_SET) != 0) ok_ = false;
        return ok_;
    }
    bool SeekEnd() {
        if (ok_ && ::fseeko(f_, 0, SEEK_END) != 0) ok_ = false;
        return ok_;
    }
    bool Ok() const { return ok_; }
    void Fail() { ok_ = false; }

private:
    std::FILE* f_;
    bool ok_ = true;
};

// Where one variable's samples lie, found before anything is allocated.
struct RecordPlan {
    std::int64_t start = 0;
    std::int64_t end = 0;  // one past the record's last byte
    std::int64_t samples = 0;
    std::uint32_t flags = 0;
    bool generated = false;
    std::string name;
    bool hasName = false;
};

class Reader {
public:
    Reader(std::FILE* f, UserMessages& messages, const std::string& name)
        : f_(f), messages_(messages), name_(name) {}

    bool Seek(std::int64_t at) {
        if (::fseeko(f_, static_cast<off_t>(at), SEEK_SET) == 0) return true;
        return ReadError();
    }
    // Reads exactly n bytes; the caller has checked they lie inside the file.
    bool Bytes(void* p, size_t n) {
        if (n == 0 || std::fread(p, 1, n, f_) == n) return true;
        return ReadError();
    }
    bool U32(std::uint32_t& v) { return Bytes(&v, sizeof v); }
    bool I32(std::int32_t& v) { return Bytes(&v, sizeof v); }

    DataPartResult Refuse(const std::string& why) {
        messages_.Show(Format("Cannot read \"%s\": %s.", name_.c_str(), why.c_str()),
                       MessageIcon::Stop);
        return DataPartResult::Refused;
    }
    // Refuse, for a step that answers true or false.
    bool Fail(const std::string& why) {
        Refuse(why);
        return false;
    }
    bool ReadError() {
        if (!failed_) {
            failed_ = true;
            Refuse(std::ferror(f_) ? std::strerror(errno) : "the file ends too soon");
        }
        return false;
    }

private:
    std::FILE* f_;
    UserMessages& messages_;
    const std::string& name_;
    bool failed_ = false;
};

}  // namespace

bool WriteSettingsDataPart(const CResultDataRef& data, std::FILE* file, const char* prefix) {
    SaveSnapshot s;
    if (!TakeSaveSnapshot(data, prefix, s) || s.Empty()) return false;
    const auto n = static_cast<std::int32_t>(s.vars.size());
    const std::int32_t p = s.rows;
    Writer w(file);
    w.U32(kSettingsDataMagic);
    w.U32(kSettingsDataVersion);
    w.U32(0);
    w.U32(static_cast<std::uint32_t>(n));
    w.U32(static_cast<std::uint32_t>(p));
    const std::int64_t table = w.Tell();
    w.Zeros(4 * static_cast<size_t>(n) + kReservedAfterOffsets);
    std::vector<std::uint32_t> offsets(static_cast<size_t>(n));
    for (std::int32_t i = 0; i < n && w.Ok(); ++i) {
        const CResultVariable* v = s.vars[static_cast<size_t>(i)].get();
        const std::int64_t at = w.Tell();
        if (at < 0 || at > std::numeric_limits<std::uint32_t>::max()) return false;
        offsets[static_cast<size_t>(i)] = static_cast<std::uint32_t>(at);
        w.Zeros(kRecordReserved);
        if (v->HasName()) {
            w.U32(static_cast<std::uint32_t>(v->Name().size() + 1));
            w.Bytes(v->Name().c_str(), v->Name().size() + 1);
        } else {
            w.U32(0);
        }
        std::uint32_t flags = 0;
        if (i == 0 && s.uniformX) flags = kRecordUniformX;
        if (i > 0 && s.badPoints) flags = kRecordBadPoints | kRecordPointFlags;
        w.U32(flags);
        const double* x = v->Values();
        if (flags & kRecordUniformX) {
            const double head[3] = {x[0], x[p - 1], p > 1 ? x[1] - x[0] : 0.0};
            w.Bytes(head, sizeof head);
        } else {
            w.Bytes(x, sizeof(double) * static_cast<size_t>(p));
        }
        if (flags & kRecordPointFlags) w.Bytes(v->Flags(), static_cast<size_t>(p));
    }
    if (!w.Seek(table)) return false;
    w.Bytes(offsets.data(), sizeof(std::uint32_t) * offsets.size());
    w.SeekEnd();
    return w.Ok();
}

namespace {

// What the header says: the file's size, the counts, and where each record begins.
struct DataPartHeader {
    std::int64_t size = 0;
    std::int32_t n = 0, p = 0;
    std::vector<std::uint32_t> offsets;
};

// The header into `h`; set when the header alone ends the read (another
// format, an empty data set or a refusal).
std::optional<DataPartResult> ReadHeader(std::FILE* file, Reader& r, CResultDataRef& data,
                                         DataPartHeader& h) {
    if (::fseeko(file, 0, SEEK_END) != 0) return r.Refuse(std::strerror(errno));
    const std::int64_t size = ::ftello(file);
    if (size < 0) return r.Refuse(std::strerror(errno));
    std::uint32_t magic = 0;
    if (size < 4) return DataPartResult::NotThisFormat;
    if (!r.Seek(0) || !r.U32(magic)) return DataPartResult::Refused;
    if (magic != kSettingsDataMagic) return DataPartResult::NotThisFormat;
    if (size < kHeaderBytes) return r.Refuse("the file ends inside its header");
    std::uint32_t version = 0, reserved = 0;
    std::int32_t n = 0, p = 0;
    if (!r.U32(version) || !r.U32(reserved) || !r.I32(n) || !r.I32(p))
        return DataPartResult::Refused;
    if (n == 0 || p == 0) {
        data.Initialise(kDataSetPlain, 0, 0, 100);
        return DataPartResult::Empty;
    }
    if (n < 0 || p < 0) return r.Refuse(Format("the file claims %d variables of %d points", n, p));
    if (kHeaderBytes + 4 * static_cast<std::int64_t>(n) > size)
        return r.Refuse(Format("the file is too short for %d variables", n));
    h.size = size;
    h.n = n;
    h.p = p;
    h.offsets.resize(static_cast<size_t>(n));
    if (!r.Bytes(h.offsets.data(), sizeof(std::uint32_t) * h.offsets.size()))
        return DataPartResult::Refused;
    return std::nullopt;
}

// Measures the record of variable i, checked against the file's size.
bool PlanRecord(Reader& r, const DataPartHeader& h, std::int32_t i, RecordPlan& rec) {
    const std::int64_t size = h.size;
    rec.start = h.offsets[static_cast<size_t>(i)];
    if (rec.start + kRecordFixed > size)
        return r.Fail(Format("the record of variable %d lies past the end of the file", i));
    std::int32_t length = 0;
    if (!r.Seek(rec.start + kRecordReserved) || !r.I32(length)) return false;
    if (length < 0 || length > size - rec.start - kRecordFixed)
        return r.Fail(Format("the name of variable %d is longer than the file", i));
    if (length > 0) {
        std::string text(static_cast<size_t>(length), '\0');
        if (!r.Bytes(text.data(), text.size())) return false;
        text.back() = '\0';
        rec.name = text.c_str();
        rec.hasName = true;
    }
    if (!r.U32(rec.flags)) return false;
    rec.samples = rec.start + kRecordFixed + length;
    rec.generated = i == 0 && (rec.flags & kRecordUniformX);
    const std::int64_t sampleBytes = rec.generated ? 3 * 8 : 8 * static_cast<std::int64_t>(h.p);
    const std::int64_t flagBytes = (rec.flags & kRecordPointFlags) ? h.p : 0;
    rec.end = rec.samples + sampleBytes + flagBytes;
    if (rec.end > size)
        return r.Fail(Format("the samples of variable %d run past the end of the file", i));
    return true;
}

// Records that share bytes could make a small file claim a huge data set. On
// success `last` is where the last record in the file ends.
bool CheckRecords(Reader& r, const std::vector<RecordPlan>& plan, std::int32_t p,
                  std::int64_t& last) {
    std::vector<const RecordPlan*> order;
    order.reserve(plan.size());
    for (const RecordPlan& rec : plan) order.push_back(&rec);
    std::sort(order.begin(), order.end(),
              [](const RecordPlan* a, const RecordPlan* b) { return a->start < b->start; });
    for (size_t k = 1; k < order.size(); ++k) {
        if (order[k]->start < order[k - 1]->end)
            return r.Fail(Format("the records of variables %d and %d overlap",
                                 static_cast<int>(order[k - 1] - plan.data()),
                                 static_cast<int>(order[k] - plan.data())));
    }
    if (plan.size() == 1 && plan[0].generated && !(plan[0].flags & kRecordPointFlags) &&
        p > kMaxGeneratedRows)
        return r.Fail(Format("%d points of a generated X are more than this program reads", p));
    last = order.back()->end;
    return true;
}

// Names the variables of `set` and lists the jobs that fill their columns.
bool PlanColumns(Reader& r, CResultData& set, const std::vector<RecordPlan>& plan, std::int32_t p,
                 std::vector<ColumnJob>& jobs) {
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(plan.size()); ++i) {
        const RecordPlan& rec = plan[static_cast<size_t>(i)];
        if (rec.hasName)
            set.SetVariableName(i, rec.name);
        else
            set.SetVariableName(i, DefaultVariableName(i));
        if (i == 0) set.SetUniformX((rec.flags & kRecordUniformX) != 0);
        // The writer marks bad points on the variables after X, so any record counts.
        if (rec.flags & kRecordBadPoints) set.SetBadPoints(1);
        CResultVariable* v = set.Variable(i);
        ColumnJob values;
        values.into = v->Values();
        values.count = p;
        if (rec.generated) {
            double head[3];
            if (!r.Seek(rec.samples) || !r.Bytes(head, sizeof head)) return false;
            values.kind = ColumnJob::Kind::Generate;
            values.first = head[0];
            values.step = head[2];
        } else {
            values.offset = static_cast<std::uint64_t>(rec.samples);
            values.count = 8 * static_cast<std::int64_t>(p);
        }
        jobs.push_back(values);
        ColumnJob flags;
        flags.into = v->Flags();
        flags.count = p;
        if (rec.flags & kRecordPointFlags)
            flags.offset = static_cast<std::uint64_t>(rec.samples +
                                                      (rec.generated ? 24 : 8 * std::int64_t{p}));
        else
            flags.kind = ColumnJob::Kind::MarkValid;
        jobs.push_back(flags);
    }
    return true;
}

}  // namespace

DataPartResult ReadSettingsDataPart(std::FILE* file, CResultDataRef& data, UserMessages& messages,
                                    const std::string& name) {
    Reader r(file, messages, name);
    DataPartHeader h;
    if (const std::optional<DataPartResult> ended = ReadHeader(file, r, data, h)) return *ended;
    const std::int32_t n = h.n, p = h.p;
    // Every record is measured and checked before the data set is allocated.
    std::vector<RecordPlan> plan(static_cast<size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) {
        if (!PlanRecord(r, h, i, plan[static_cast<size_t>(i)])) return DataPartResult::Refused;
    }
    std::int64_t last = 0;
    if (!CheckRecords(r, plan, p, last)) return DataPartResult::Refused;

    // Filled on the side: a read that fails leaves the caller's data set alone.
    CResultDataRef fresh;
    if (!fresh.Initialise(kDataSetPlain, n, p, 100))
        return r.Refuse("there is not enough memory for its data");
    CResultData* set = fresh.Get();
    std::lock_guard<std::recursive_mutex> hold(set->Lock());
    std::vector<ColumnJob> jobs;
    if (!PlanColumns(r, *set, plan, p, jobs)) return DataPartResult::Refused;
    // Each variable has a record of its own: the records go in parallel.
    const int workers = WorkerCount();
    const FillResult filled = FillColumns(file, jobs, false, workers);
    if (!filled.ok) {
        r.Refuse(filled.error ? std::strerror(filled.error) : "the file ends too soon");
        return DataPartResult::Refused;
    }
    set->SetRowCountLocked(p);
    set->UpdateExtents(workers);
    // The settings block follows the last record.
    if (!r.Seek(last)) return DataPartResult::Refused;
    data = fresh;
    return DataPartResult::Read;
}

DataPartResult LoadSettingsDataFile(const std::string& path, CResultDataRef& data,
                                    CIOBuffer* settings, UserMessages& messages) {
    if (settings) settings->Reset();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        messages.Show(Format("Cannot open \"%s\": %s.", path.c_str(), std::strerror(errno)),
                      MessageIcon::Stop);
        return DataPartResult::Refused;
    }
    const DataPartResult result = ReadSettingsDataPart(file, data, messages, path);
    if (result == DataPartResult::Read && settings) {
        settings->SetMode(kIOBufferLoad);
        settings->Attach(file);
        try {
            if (!settings->Transfer()) {
                messages.Show(Format("Cannot read \"%s\": %s.", path.c_str(), std::strerror(errno)),
                              MessageIcon::Stop);
                settings->Reset();
            }
        } catch (const CIOBufferException& e) {
            messages.Show(e.what(), MessageIcon::Stop);
            settings->Reset();
        }
        settings->Attach(nullptr);
        settings->SetMode(kIOBufferLoad);
    }
    std::fclose(file);
    return result;
}

bool SaveSettingsDataFile(const std::string& path, const CResultDataRef& data, const char* prefix,
                          CIOBuffer& settings, UserMessages& messages) {
    if (data->VariableCount() < 1 || data->RowCount() < 1) {
        messages.Show("There is no data to save.", MessageIcon::Exclamation);
        return false;
    }
    SafeFile out;
    if (!out.Open(path)) {
        messages.Show(out.Error(), MessageIcon::Stop);
        return false;
    }
    if (!WriteSettingsDataPart(data, out.Stream(), prefix)) {
        const int err = errno;
        messages.Show(std::ferror(out.Stream())
                          ? Format("Cannot write \"%s\": %s.", path.c_str(), std::strerror(err))
                          : Format("Cannot write \"%s\": the data set does not fit this format.",
                                   path.c_str()),
                      MessageIcon::Stop);
        return false;
    }
    std::FILE* const previous = settings.File();
    const std::uint16_t mode = settings.Mode();
    settings.SetMode(kIOBufferStore);
    settings.Attach(out.Stream());
    bool written = false;
    try {
        written = settings.Transfer(true);
    } catch (const CIOBufferException& e) {
        settings.Attach(previous);
        settings.SetMode(mode);
        messages.Show(e.what(), MessageIcon::Stop);
        return false;
    }
    const int err = errno;
    settings.Attach(previous);
    settings.SetMode(mode);
    if (!written) {
        messages.Show(Format("Cannot write \"%s\": %s.", path.c_str(), std::strerror(err)),
                      MessageIcon::Stop);
        return false;
    }
    if (!out.Commit()) {
        messages.Show(out.Error(), MessageIcon::Stop);
        return false;
    }
    return true;
}

}  // namespace kurvex
