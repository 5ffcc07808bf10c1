#include "data/formats/BinaryReading.h"

#include <cmath>

#include "data/model/PhaseColumns.h"
#include "data/platform/SampleMemory.h"

namespace kurvex {

namespace {

constexpr std::int64_t kProgressEvery = 8 << 20;
constexpr double kDegreesPerRadian = 180.0 / 3.14159265358979323846;

}  // namespace

void ToPolar(double re, double im, double& amp, double& phase) {
    amp = 20.0 * std::log10(std::hypot(re, im));
    phase = std::atan2(im, re) * kDegreesPerRadian;
}

std::uint64_t MemoryLimit(std::uint64_t limit) {
    return limit ? limit : AvailableMemory();
}

void BackColumns(CResultData& set, std::int64_t rows, int workers) {
    std::vector<MemoryRange> ranges;
    for (std::int32_t v = 0; v < set.VariableCount(); ++v) {
        ranges.push_back({set.Variable(v)->Values(), static_cast<size_t>(rows) * sizeof(double)});
        ranges.push_back({set.Variable(v)->Flags(), static_cast<size_t>(rows)});
    }
    PrepareForWriting(ranges, workers);
}

void FinishColumns(CResultData& set, std::int64_t rows, const std::vector<std::int32_t>& phases,
                   bool unwrap, bool bad, int workers) {
    set.SetRowCountLocked(static_cast<std::int32_t>(rows));
    for (const std::int32_t v : unwrap ? phases : std::vector<std::int32_t>{}) {
        CResultVariable& phase = *set.Variable(v);
        UnwrapPhaseColumn(set.Variable(0)->Values(), set.Variable(0)->Flags(), phase.Values(),
                          phase.Flags(), rows);
    }
    set.SetBadPoints(bad);
    set.UpdateExtents(workers);
    set.SetUniformX(CResultDataRef::UniformTest(set.Variable(0)->Values(), 0,
                                                static_cast<std::int32_t>(rows) - 1, workers));
}

BinaryReading::BinaryReading(const std::string& name, UserMessages& messages,
                             const Progress& progress, std::vector<std::string>* notes)
    : name_(name),
      messages_(messages),
      progress_(progress),
      notes_(notes),
      nextProgress_(kProgressEvery) {}

bool BinaryReading::Refuse(const std::string& cause) {
    if (!failed_ && !quiet_)
        messages_.Show(cause + "\r\n\r\nCan not read file " + name_, MessageIcon::Stop);
    failed_ = true;
    return false;
}

void BinaryReading::Note(const std::string& line) {
    if (notes_ && !line.empty()) notes_->push_back(line);
}

bool BinaryReading::Tell(std::int64_t done, std::int64_t total) {
    if (!progress_ || progress_(done, total)) return true;
    failed_ = cancelled_ = true;
    return false;
}

bool BinaryReading::KeepGoing(std::int64_t done, std::int64_t total) {
    if (!progress_ || done < nextProgress_) return true;
    nextProgress_ = done + kProgressEvery;
    return Tell(done, total);
}

bool BinaryReading::Allocate(CResultDataRef& fresh, std::int64_t columns, std::int64_t rows) {
    if (fresh.Initialise(kDataSetPlain, static_cast<std::int32_t>(columns),
                         static_cast<std::int32_t>(rows), 100))
        return true;
    return Refuse("There is not enough memory for its data.");
}

}  // namespace kurvex
