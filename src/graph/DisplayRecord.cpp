#include "graph/DisplayRecord.h"

#include <algorithm>

#include "graph/Annotations.h"
#include "graph/FontRecord.h"

namespace kurvex {

namespace {

constexpr std::uint16_t kModeLoad = 1;
constexpr std::uint16_t kModeStore = 2;
constexpr std::size_t kReservedBytes = 20;
// A nested buffer costs at least its length word: no count read from a stream
// may ask for more entries than the bytes left could hold.
constexpr std::size_t kMinEntryBytes = 4;

CIOBuffer NewStore() {
    CIOBuffer b;
    b.SetMode(kModeStore);
    b.SetVersion(7, 1);
    return b;
}

void WriteAxis(CIOBuffer& b, const DataExtent& e, const AxisRange& r) {
    b.WriteDouble(e.min);
    b.WriteDouble(e.max);
    b.WriteDouble(r.from);
    b.WriteDouble(r.to);
    b.WriteDouble(r.increment);
}

void ReadAxis(CIOBuffer& b, DataExtent& e, AxisRange& r) {
    e.min = b.ReadDouble();
    e.max = b.ReadDouble();
    r.from = b.ReadDouble();
    r.to = b.ReadDouble();
    r.increment = b.ReadDouble();
}

// How many entries a count read from `b` may stand for.
std::int32_t Bounded(std::int32_t count, const CIOBuffer& b) {
    if (count < 0) return 0;
    const auto most = static_cast<std::int64_t>(b.Remaining() / kMinEntryBytes);
    return static_cast<std::int32_t>(std::min<std::int64_t>(count, most));
}

}  // namespace

void WriteDisplayRecord(const CGraphCurve& s, CIOBuffer& out) {
    CIOBuffer block = NewStore();
    block.WriteUInt32(s.Background());
    block.WriteUInt32(s.Foreground());
    block.WriteUInt32(s.GridColour());
    block.WriteInt32(s.GridShown());
    block.WriteInt32(s.HideAxisText());
    block.WriteInt32(s.Metrics().digitsWidth);
    block.WriteInt32(s.Metrics().textHeight);
    const auto font = EncodeFontRecord(s.Font());
    block.WriteBytes(font.data(), font.size());
    block.WriteInt32(1);
    block.WriteInt32(s.XAutoGrid());
    block.WriteInt32(s.XDivisions());
    block.WriteInt32(s.YAutoScale());
    block.WriteInt32(s.YAutoGrid());
    block.WriteInt32(s.YDivisions());
    WriteAxis(block, s.XExtent(), s.XRange());
    WriteAxis(block, s.YExtent(), s.YRange());
    block.WriteInt32(s.XLog());
    block.WriteInt32(s.YLog());
    block.WriteInt32(s.FreqDisplay());
    block.WriteInt32(s.Reserved());
    // Black and white is a way of looking, not part of the layout.
    block.WriteUInt32(s.DisplayFlags() & ~static_cast<std::uint32_t>(kDisplayBlackWhite));
    out.AppendBuffer(block);

    CIOBuffer x = NewStore();
    x.WriteString(s.XVariableName());
    x.WriteInt32(s.XIndex());
    x.WriteString(s.XTitle());
    out.AppendBuffer(x);

    out.WriteInt32(s.CurveCount());
    for (std::int32_t i = 0; i < s.CurveCount(); ++i) {
        const CCurveEntry& c = s.Curve(i);
        CIOBuffer curve = NewStore();
        curve.WriteInt32(c.sourceKind);
        curve.WriteInt32(c.columnIndex);
        curve.WriteString(c.formula);
        curve.WriteString(c.label);
        curve.WriteUInt32(c.colour);
        curve.WriteInt32(c.connect);
        curve.WriteInt32(c.thickness);
        curve.WriteInt32(c.markerSymbol);
        out.AppendBuffer(curve);
    }

    WriteAnnotations(s.Annotations(), out);
}

RecordLoad ReadDisplayRecord(CIOBuffer& in, CGraphCurve& s) {
    RecordLoad result;
    s.ClearForLoad();
    CIOBuffer block = in.ReadBuffer();
    s.SetBackground(block.ReadUInt32() & 0xFFFFFF);
    s.SetForeground(block.ReadUInt32() & 0xFFFFFF);
    s.SetGridColour(block.ReadUInt32() & 0xFFFFFF);
    s.SetGridShown(block.ReadInt32());
    s.SetHideAxisText(block.ReadInt32());
    CharMetrics metrics;
    metrics.digitsWidth = block.ReadInt32();
    metrics.textHeight = block.ReadInt32();
    std::uint8_t font[kFontRecordBytes];
    block.ReadBytes(font, sizeof font);
    s.SetFont(DecodeFontRecord(font), nullptr);
    // Metrics drive the layout: keep the screen's own when the record's make no sense.
    if (metrics.digitsWidth > 0 && metrics.digitsWidth < 10000 && metrics.textHeight > 0 &&
        metrics.textHeight < 10000)
        s.SetMetrics(metrics);
    block.ReadInt32();  // always 1
    s.SetXAutoGrid(block.ReadInt32());
    s.SetXDivisions(block.ReadInt32());
    s.SetYAutoScale(block.ReadInt32());
    s.SetYAutoGrid(block.ReadInt32());
    s.SetYDivisions(block.ReadInt32());
    DataExtent xe, ye;
    AxisRange xr, yr;
    ReadAxis(block, xe, xr);
    ReadAxis(block, ye, yr);
    const std::int32_t xLog = block.ReadInt32();
    const std::int32_t yLog = block.ReadInt32();
    const std::int32_t freq = block.ReadInt32();
    s.SetReserved(block.ReadInt32());
    s.SetDisplayFlags(block.ReadUInt32() & ~static_cast<std::uint32_t>(kDisplayBlackWhite));
    s.StoreScales(xLog ? 1 : 0, yLog ? 1 : 0, freq ? 1 : 0);
    s.StoreX(xe, xr);
    s.StoreY(ye, yr);

    const CResultDataRef& data = s.Data();
    CIOBuffer x = in.ReadBuffer();
    const std::string xName = x.ReadString();
    x.ReadInt32();  // the index it had; the name decides
    s.SetXTitle(x.ReadString());
    const std::int32_t xIndex = data.FindVariable(xName.c_str());
    result.xFound = xIndex >= 0;
    s.SetXIndex(xIndex >= 0 ? xIndex : 0);

    const std::int32_t curves = Bounded(in.ReadInt32(), in);
    for (std::int32_t i = 0; i < curves && !in.AtEnd(); ++i) {
        CIOBuffer b = in.ReadBuffer();
        CCurveEntry c;
        c.sourceKind = b.ReadInt32();
        c.columnIndex = b.ReadInt32();
        c.formula = b.ReadString();
        c.label = b.ReadString();
        c.colour = b.ReadUInt32() & 0xFFFFFF;
        c.connect = b.ReadInt32() ? 1 : 0;
        c.thickness = std::clamp(b.ReadInt32(), 0, 100);
        c.markerSymbol = b.ReadInt32();
        if (c.sourceKind != kCurveColumn && c.sourceKind != kCurveFormula) continue;
        const CurveBindResult bound = c.Bind(data);
        if (!bound.ok) continue;
        result.invalidPoints = result.invalidPoints || bound.invalidPoints;
        s.AddCurve(c);
    }

    ReadAnnotations(in, s);
    return result;
}

void WriteDisplayStream(const std::vector<const CGraphCurve*>& screens, CIOBuffer& stream) {
    stream.Reset();
    stream.SetMode(kModeStore);
    stream.SetVersion(7, 1);
    stream.WriteInt32(7);
    stream.WriteInt32(1);
    stream.WriteInt32(static_cast<std::int32_t>(screens.size()));
    CIOBuffer reserved = NewStore();
    const std::uint8_t zeros[kReservedBytes] = {};
    reserved.WriteBytes(zeros, sizeof zeros);
    stream.AppendBuffer(reserved);
    for (const CGraphCurve* s : screens) {
        CIOBuffer record = NewStore();
        WriteDisplayRecord(*s, record);
        stream.AppendBuffer(record);
    }
}

LoadedScreens ReadDisplayStream(CIOBuffer& stream, const ScreenBasis& basis) {
    LoadedScreens out;
    stream.Rewind();
    stream.SetMode(kModeLoad);
    const auto major = static_cast<std::uint16_t>(stream.ReadInt32());
    const auto minor = static_cast<std::uint16_t>(stream.ReadInt32());
    stream.SetVersion(major, minor);
    const std::int32_t count = Bounded(stream.ReadInt32(), stream);
    if (stream.AtLeast(7, 1)) stream.ReadBuffer();  // reserved
    for (std::int32_t i = 0; i < count && !stream.AtEnd(); ++i) {
        CIOBuffer record = stream.ReadBuffer();
        auto screen = std::make_unique<CGraphCurve>(kScreenOfView);
        screen->SetData(basis.data);
        screen->SetMetrics(basis.metrics);
        const RecordLoad r = ReadDisplayRecord(record, *screen);
        out.invalidPoints = out.invalidPoints || r.invalidPoints;
        // The ranges came with the record; only the data extents are the data's.
        const AxisRange xr = screen->XRange(), yr = screen->YRange();
        out.invalidPoints = screen->UpdateExtents() || out.invalidPoints;
        screen->StoreX(screen->XExtent(), xr);
        screen->StoreY(screen->YExtent(), yr);
        out.screens.push_back(std::move(screen));
    }
    for (size_t i = 0; i < out.screens.size(); ++i)
        out.screens[i]->SetBottomScreen(i + 1 == out.screens.size());
    return out;
}

}  // namespace kurvex
