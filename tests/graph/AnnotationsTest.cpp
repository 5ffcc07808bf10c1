#include <gtest/gtest.h>

#include "TestSupport.h"
#include "data/platform/IOBuffer.h"
#include "graph/AnnotationCanvas.h"
#include "graph/AnnotationTemplates.h"

namespace kurvex {
namespace {

using test::AnnotationCanvas;

using test::UnitScreen;

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

TEST(Annotations, MovingTheSelectionShiftsItByThePointersMovementInData) {
    UnitScreen s;
    s.model.StoreX({0, 100}, {0.0, 100.0, 10.0});  // 10 pixels per X unit
    CGraphLine* moved = s.Line({100, 100}, {300, 100});
    CGraphLine* kept = s.Line({100, 100}, {300, 100});
    s.model.AnnotationSelection() = {moved};
    ASSERT_TRUE(MoveSelectedAnnotations(s.model, 20, 30));
    // Down on screen is down in data.
    EXPECT_EQ(test::Ends(*moved), (test::LineEnds{102, 870, 302, 870}));
    EXPECT_EQ(kept->X1(), 100.0);
    s.model.StoreY({0, 0}, {5.0, 5.0, 0.0});
    EXPECT_FALSE(MoveSelectedAnnotations(s.model, 1, 1));
}

TEST(Annotations, TextDialogRefusesAnEmptyTextAndEditsTakeOnlyWhatTheDialogShows) {
    AnnotationTemplates templates;
    test::RecordingMessages messages;
    CGraphText& tmpl = templates.Text();
    tmpl.SetTextUtf8("before");
    EXPECT_FALSE(AnnotationTemplates::AcceptTextDialog(tmpl, u"", kJustifyRight, true, messages));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].first, "Please enter Text.");
    EXPECT_EQ(messages.shown[0].second, MessageIcon::Exclamation);
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
