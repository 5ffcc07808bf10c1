#pragma once

#include <functional>
#include <utility>
#include <vector>

class QWidget;

namespace kurvex {

class CGraphDocument;
class COhmixGraphView;
class SettingsStore;

// The power-measurement commands a graph view carries out, by id: the
// Cycles, Edges and Harmonics windows, the cycle average and the FFT windows.
// The figure windows sit over `frame`; the chosen FFT window is saved in
// `store` and the spectra of every view of `documents` follow it. All three
// must outlive the handlers.
std::vector<std::pair<int, std::function<void(COhmixGraphView&)>>> PowerCommandHandlers(
    QWidget* frame, SettingsStore& store, const std::vector<CGraphDocument*>& documents);

}  // namespace kurvex
