#include <gtest/gtest.h>

#include "data/IOBuffer.h"
#include "graph/AnnotationCanvas.h"
#include "graph/AnnotationTemplates.h"
#include "graph/Annotations.h"
#include "graph/GraphCurve.h"

namespace kurvex {
namespace {

using test::AnnotationCanvas;

// A screen whose plot is 1000 × 1000 pixels at the origin over data 0 .. 1000:
// data (x, y) is pixel (x, 1000 - y).
struct UnitScreen {
    UnitScreen() {
        model.SetPlot({0, 0, 1000, 1000});
        model.StoreX({0, 1000}, {0.0, 1000.0, 100.0});
        model.StoreY({0, 1000}, {0.0, 1000.0, 100.0});
    }
    CGraphLine* Line(Point a, Point b) {
        auto line = std::make_unique<CGraphLine>();
        line->SetFirst(a.x, 1000 - a.y);
        line->SetSecond(b.x, 1000 - b.y);
        return static_cast<CGraphLine*>(model.AddAnnotation(std::move(line)));
    }
    CGraphText* Text(Point at, const std::string& s) {
        auto text = std::make_unique<CGraphText>();
        text->SetAnchor(at.x, 1000 - at.y);
        text->SetTextUtf8(s);
        return static_cast<CGraphText*>(model.AddAnnotation(std::move(text)));
    }
    void Draw(AnnotationCanvas& canvas, DrawOptions o = {}) {
        DrawAnnotations(model, canvas, model.Plot(), o);
    }
    CGraphCurve model;
};

TEST(Annotations, FactoryMakesLinesAndTextsByTypeOnly) {
    EXPECT_EQ(CreateAnnotation(1)->Type(), kAnnotationLine);
    EXPECT_EQ(CreateAnnotation(2)->Type(), kAnnotationText);
    EXPECT_EQ(CreateAnnotation(0), nullptr);
    EXPECT_EQ(CreateAnnotation(3), nullptr);
    CIOBuffer record;
    CGraphLine().WriteRecord(record);
    record.Rewind();
    EXPECT_EQ(ReadAnnotation(kAnnotationText, record), nullptr);  // a line is no text
}

TEST(Annotations, ListRoundTripDropsOnlyTheUnreadableRecord) {
    UnitScreen source;
    source.Line({10, 10}, {20, 30})->SetArrow(1);
    source.Text({50, 50}, "hello");
    CIOBuffer out;
    WriteAnnotations(source.model.Annotations(), out);

    // The same list with a third entry whose text record is cut short.
    CIOBuffer bad;
    CIOBuffer record;
    CGraphText().WriteRecord(record);
    CIOBuffer cut;
    cut.Assign(record.Bytes().substr(0, 10));
    bad.WriteInt32(4);
    bad.WriteInt32(kAnnotationText);
    bad.AppendBuffer(cut);
    out.Rewind();
    out.ReadInt32();
    bad.WriteBytes(out.Data() + 4, out.Size() - 4);
    bad.WriteInt32(7);  // an unknown type
    bad.AppendBuffer(record);

    for (CIOBuffer* in : {&out, &bad}) {
        in->Rewind();
        UnitScreen target;
        EXPECT_EQ(ReadAnnotations(*in, target.model), 2);
        const auto& list = target.model.Annotations();
        ASSERT_EQ(list.size(), 2u);
        ASSERT_EQ(list[0]->Type(), kAnnotationLine);
        EXPECT_EQ(static_cast<CGraphLine&>(*list[0]).Arrow(), 1);
        EXPECT_EQ(static_cast<CGraphLine&>(*list[0]).Y2(), 970);
        ASSERT_EQ(list[1]->Type(), kAnnotationText);
        EXPECT_EQ(static_cast<CGraphText&>(*list[1]).TextUtf8(), "hello");
        EXPECT_EQ(list[1]->Owner(), &target.model);
        EXPECT_TRUE(in->AtEnd());
    }
}

TEST(Annotations, AHugeCountOverAShortStreamReadsWhatIsThere) {
    CIOBuffer in;
    in.WriteInt32(0x7FFFFFFF);
    in.WriteInt32(kAnnotationLine);
    CIOBuffer record;
    CGraphLine().WriteRecord(record);
    in.AppendBuffer(record);
    in.Rewind();
    UnitScreen target;
    EXPECT_EQ(ReadAnnotations(in, target.model), 1);
}

TEST(Annotations, DrawingIsClippedToThePlotAndMarksOnlyTheSelectedOnTheWindow) {
    UnitScreen s;
    CGraphLine* line = s.Line({100, 100}, {300, 100});
    CGraphText* text = s.Text({500, 500}, "abcd");
    s.model.AnnotationSelection() = {line, text};

    AnnotationCanvas window;
    s.Draw(window);
    ASSERT_EQ(window.clips.size(), 2u);
    EXPECT_EQ(window.clips[0], s.model.Plot());
    EXPECT_TRUE(window.clips[1].Empty());
    // Line handles are black squares; the text gets a dotted frame.
    EXPECT_EQ(window.fills.size(), 3u);  // the text's background and two handles
    EXPECT_EQ(window.fills[1].rect, BoxAround({100, 100}, 2));
    ASSERT_FALSE(window.lines.empty());
    EXPECT_EQ(window.lines.back().style, PenStyle::Dot);

    DrawOptions print;
    print.recordLegend = false;
    AnnotationCanvas paper;
    s.Draw(paper, print);
    EXPECT_EQ(paper.fills.size(), 1u);
    EXPECT_EQ(paper.lines.size(), 1u);

    line->SetFlags(kAnnotationDragging);
    text->SetFlags(kAnnotationDragging);
    AnnotationCanvas dragging;
    s.Draw(dragging);
    EXPECT_EQ(dragging.fills.size(), 1u);
    EXPECT_EQ(dragging.lines.size(), 1u);
}

TEST(Annotations, SelectionHitsTopmostAndRubberBand) {
    UnitScreen s;
    AnnotationCanvas canvas;
    CGraphLine* line = s.Line({100, 100}, {300, 100});
    CGraphText* under = s.Text({200, 100}, "abcd");
    CGraphText* top = s.Text({205, 100}, "abcd");
    s.Draw(canvas);
    EXPECT_EQ(TopmostAt(s.model, {200, 100}), top);
    EXPECT_EQ(TopmostAt(s.model, {150, 100}), line);
    EXPECT_EQ(TopmostAt(s.model, {600, 600}), nullptr);  // a click on empty plot

    s.model.AnnotationSelection() = {line, under};
    EXPECT_EQ(HitSelected(s.model, {297, 101}).annotation, line);
    EXPECT_EQ(HitSelected(s.model, {297, 101}).hit, kHitSecondEnd);
    EXPECT_EQ(HitSelected(s.model, {600, 600}).annotation, nullptr);

    EXPECT_EQ(AnnotationsMeeting(s.model, {90, 90, 120, 110}),
              (std::vector<CGraphAnnotation*>{line}));
    EXPECT_EQ(AnnotationsMeeting(s.model, {0, 0, 1000, 1000}).size(), 3u);
    EXPECT_EQ(AreaOf({line}, 4), (Rect{96, 96, 305, 105}));
    EXPECT_TRUE(AreaOf({}, 4).Empty());
}

TEST(Annotations, MovingTheSelectionShiftsItByThePointersMovementInData) {
    UnitScreen s;
    s.model.StoreX({0, 100}, {0.0, 100.0, 10.0});  // 10 pixels per X unit
    CGraphLine* moved = s.Line({100, 100}, {300, 100});
    CGraphLine* kept = s.Line({100, 100}, {300, 100});
    s.model.AnnotationSelection() = {moved};
    ASSERT_TRUE(MoveSelectedAnnotations(s.model, 20, 30));
    EXPECT_DOUBLE_EQ(moved->X1(), 102.0);
    EXPECT_DOUBLE_EQ(moved->Y1(), 870.0);  // down on screen is down in data
    EXPECT_DOUBLE_EQ(moved->X2(), 302.0);
    EXPECT_EQ(kept->X1(), 100.0);
    s.model.StoreY({0, 0}, {5.0, 5.0, 0.0});
    EXPECT_FALSE(MoveSelectedAnnotations(s.model, 1, 1));
}

TEST(Annotations, DeleteRemovesTheSelectedAndReportsTheirArea) {
    UnitScreen s;
    AnnotationCanvas canvas;
    CGraphLine* gone = s.Line({100, 100}, {300, 100});
    CGraphText* stays = s.Text({500, 500}, "abcd");
    s.Draw(canvas);
    s.model.AnnotationSelection() = {gone};
    EXPECT_EQ(DeleteSelectedAnnotations(s.model), (Rect{96, 96, 305, 105}));
    ASSERT_EQ(s.model.Annotations().size(), 1u);
    EXPECT_EQ(s.model.Annotations()[0].get(), stays);
    EXPECT_TRUE(s.model.AnnotationSelection().empty());
    EXPECT_TRUE(DeleteSelectedAnnotations(s.model).Empty());  // nothing selected
    EXPECT_EQ(s.model.Annotations().size(), 1u);
}

TEST(Annotations, NewTextsAndLinesAreTemplateCopiesAtThePressedPoint) {
    UnitScreen s;
    AnnotationTemplates templates;
    templates.Text().SetTextUtf8("note");
    templates.Text().SetJustification(kJustifyRight);
    CGraphText* placed = PlaceText(s.model, templates.Text(), {250, 400});
    ASSERT_NE(placed, nullptr);
    EXPECT_EQ(placed->X(), 250.0);
    EXPECT_EQ(placed->Y(), 600.0);
    EXPECT_EQ(placed->Justification(), kJustifyRight);
    EXPECT_EQ(placed->Owner(), &s.model);
    EXPECT_EQ(s.model.AnnotationSelection(), (std::vector<CGraphAnnotation*>{placed}));
    templates.Text().SetTextUtf8("changed");
    EXPECT_EQ(placed->TextUtf8(), "note");

    ASSERT_TRUE(templates.ApplyLineCommand(kCommandArrowLine));
    std::unique_ptr<CGraphLine> line = StartLine(s.model, templates.Line(), {10, 20});
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(s.model.Annotations().size(), 1u);  // not in the list while dragged
    EXPECT_EQ(line->X2(), 10.0);
    EXPECT_EQ(line->Y1(), 980.0);
    line->SetEnd(kHitSecondEnd, 70.0, 980.0);
    CGraphLine* committed = CommitLine(s.model, std::move(line));
    EXPECT_EQ(s.model.Annotations().size(), 2u);
    EXPECT_EQ(committed->Arrow(), 1);
    EXPECT_EQ(s.model.AnnotationSelection(), (std::vector<CGraphAnnotation*>{committed}));

    s.model.SetPlot({});
    EXPECT_EQ(PlaceText(s.model, templates.Text(), {1, 1}), nullptr);
}

TEST(Annotations, LineCommandsSetTheTemplateAndShowChecked) {
    struct Case {
        int command;
        std::int32_t style, arrow;
    };
    const Case cases[] = {{kCommandDottedLine, kLinePenDotted, 0},
                          {kCommandArrowLine, kLinePenSolid, 1},
                          {kCommandSolidLine, kLinePenSolid, 0}};
    AnnotationTemplates t;
    for (const Case& k : cases) {
        ASSERT_TRUE(t.ApplyLineCommand(k.command));
        EXPECT_EQ(t.Line().Pen().style, k.style) << k.command;
        EXPECT_EQ(t.Line().Arrow(), k.arrow) << k.command;
        for (const Case& other : cases)
            EXPECT_EQ(t.LineCommandChecked(other.command, 7), other.command == k.command);
        EXPECT_FALSE(t.LineCommandChecked(k.command, 0));
    }
    EXPECT_FALSE(t.ApplyLineCommand(kCommandAddText));
}

class Said : public UserMessages {
public:
    void Show(const std::string& text, MessageIcon icon) override {
        said.push_back(text);
        icons.push_back(icon);
    }
    std::vector<std::string> said;
    std::vector<MessageIcon> icons;
};

TEST(Annotations, TextDialogRefusesAnEmptyTextAndEditsTakeOnlyWhatTheDialogShows) {
    AnnotationTemplates templates;
    Said messages;
    CGraphText& tmpl = templates.Text();
    tmpl.SetTextUtf8("before");
    EXPECT_FALSE(AnnotationTemplates::AcceptTextDialog(tmpl, u"", kJustifyRight, true, messages));
    EXPECT_EQ(messages.said, (std::vector<std::string>{"Please enter Text."}));
    EXPECT_EQ(messages.icons[0], MessageIcon::Exclamation);
    EXPECT_EQ(tmpl.TextUtf8(), "before");
    EXPECT_EQ(tmpl.Justification(), kJustifyCenter);
    ASSERT_TRUE(AnnotationTemplates::AcceptTextDialog(tmpl, u"new", kJustifyRight, true, messages));
    EXPECT_EQ(tmpl.TextUtf8(), "new");
    EXPECT_EQ(tmpl.Justification(), kJustifyRight);
    EXPECT_EQ(tmpl.Vertical(), 1);

    UnitScreen s;
    CGraphText* placed = s.Text({100, 100}, "old");
    placed->SetFlags(kAnnotationDragging);
    CGraphText edited(*placed);
    edited.SetAnchor(1.0, 1.0);
    edited.SetColour(0x0000FF);
    GraphFont f = edited.Font();
    f.weight = 700;
    edited.SetFont(f);
    ASSERT_TRUE(AnnotationTemplates::AcceptTextDialog(edited, u"edited", kJustifyLeftBottom, false,
                                                      messages));
    placed->TakeEdit(edited);
    EXPECT_EQ(placed->TextUtf8(), "edited");
    EXPECT_EQ(placed->Colour(), 0x0000FFu);
    EXPECT_EQ(placed->Font().weight, 700);
    EXPECT_EQ(placed->Justification(), kJustifyLeftBottom);
    EXPECT_EQ(placed->X(), 100.0);
    EXPECT_EQ(placed->Flags(), kAnnotationDragging);
}

}  // namespace
}  // namespace kurvex
