// The "Decoder" group: the mode list shows the selected mode's panel only, every field keeps its range and
// reaches the engine, and settings published by others (a protocol) show without going back as edits.
#include "panels_fixture.h"
#include "protocols/protocol_record.h"
#include "windows/mode_panels.h"

namespace sirrel::test {
namespace {

class ModePanelsTest : public PanelsTest {
protected:
    ModePanels &Build()
    {
        panels = std::make_unique<ModePanels>(frame, Rect{10, 30, 270, 230}, context);
        return *panels;
    }
    std::vector<int32_t> VisiblePanels()
    {
        std::vector<int32_t> shown;
        for (int32_t p = 0; p < ModePanels::kPanelCount; ++p) {
            if (panels->PanelWindow(ModePanels::Panel(p)).Visible())
                shown.push_back(p);
        }
        return shown;
    }
    Oru_Window &ControlOf(ModePanels::Panel panel, const std::string &label)
    {
        Oru_Window *control = panels->Control(panel, label);
        EXPECT_NE(control, nullptr) << label;
        return *control;
    }
    // Another view's edit: the engine publishes it.
    void Publish(const std::function<void(SettingsModel &)> &change)
    {
        engine.Post([change](EngineEdit &edit) { change(edit.settings); });
    }

    std::unique_ptr<ModePanels> panels;
};

TEST_F(ModePanelsTest, TheSelectedModeShowsItsPanelAlone)
{
    struct Case {
        int32_t position;
        int32_t mode;
        std::vector<int32_t> panels;
    };
    using P = ModePanels;
    const Case cases[] = {
        {0, kModeIta2, {P::kAsyncPanel}},    {1, kModeIra, {P::kAsyncPanel}}, {2, kModeAscii8, {P::kAsyncPanel}},
        {3, kModeArq, {P::kArqPanel}},       {4, kModeArqm, {P::kArqmPanel}}, {5, kModeFec, {P::kFecPanel}},
        {6, kModePacket, {P::kPacketPanel}}, {7, kModeCis, {P::kCisPanel}},   {8, kModeRawBits, {}},
    };
    Build();
    EXPECT_EQ(VisiblePanels(), std::vector<int32_t>{P::kPacketPanel}) << "the start-up mode";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.position);
        Pick(panels->ModeList(), c.position);
        EXPECT_EQ(engine.Settings().mode, c.mode);
        EXPECT_EQ(VisiblePanels(), c.panels);
        // The asynchronous panel serves three modes; only ITA2 has letters and figures to unshift.
        if (c.position <= 2) {
            EXPECT_EQ(ControlOf(P::kAsyncPanel, "Unshift on space").Visible(), c.mode == kModeIta2);
        }
    }
}

TEST_F(ModePanelsTest, FieldsKeepTheirRangesAndReachTheEngine)
{
    struct Case {
        int32_t position; // in the mode list
        ModePanels::Panel panel;
        const char *label;
        const char *typed;
        double SettingsModel::*member;
        double expected;
    };
    using P = ModePanels;
    using S = SettingsModel;
    const Case cases[] = {
        {3, P::kArqPanel, "Cycle length (bits)", "5", &S::arqCycleLength, 7},
        {3, P::kArqPanel, "Cycle length (bits)", "5000", &S::arqCycleLength, 1000},
        {3, P::kArqPanel, "Characters in cycle", "8", &S::arqCharsInCycle, 8},
        {3, P::kArqPanel, "Inverting rate", "1001", &S::arqInvertingRate, 1000},
        {3, P::kArqPanel, "Repetition cycle length", "0", &S::arqRepetitionCycle, 1},
        {5, P::kFecPanel, "Characters in cycle", "0", &S::fecCharsInCycle, 1},
        {5, P::kFecPanel, "Inverting rate", "12", &S::fecInvertingRate, 12},
        {7, P::kCisPanel, "Min syncro size", "300", &S::cisMinSyncFrames, 255},
        {7, P::kCisPanel, "Max errors num", "0", &S::cisMaxErrors, 1},
        {4, P::kArqmPanel, "Repetition cycle", "256", &S::arqmRepetitionCycle, 255},
    };
    Build();
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.label) + " " + c.typed);
        Pick(panels->ModeList(), c.position);
        Oru_Window &field = ControlOf(c.panel, c.label);
        Enter(field, c.typed);
        EXPECT_DOUBLE_EQ(engine.Settings().*c.member, c.expected);
        EXPECT_DOUBLE_EQ(static_cast<Oru_NumericField &>(field).Value(), c.expected);
    }
}

TEST_F(ModePanelsTest, ListsAndCheckBoxesReachTheEngine)
{
    Build();
    Pick(panels->ModeList(), 5);
    Pick(static_cast<Oru_ComboBox &>(ControlOf(ModePanels::kFecPanel, "Character set")), 2);
    Click(ControlOf(ModePanels::kFecPanel, "FEC correction"));
    Click(ControlOf(ModePanels::kFecPanel, "Unshift on space"));
    EXPECT_EQ(engine.Settings().fecCharsetIndex, 2);
    EXPECT_TRUE(engine.Settings().fecCorrection);
    EXPECT_TRUE(engine.Settings().unshiftOnSpace);

    // One choice, a box on several panels: the others follow.
    panels->Refresh();
    EXPECT_TRUE(static_cast<Oru_CheckBox &>(ControlOf(ModePanels::kArqPanel, "Unshift on space")).Checked());

    Pick(panels->ModeList(), 4);
    Pick(static_cast<Oru_ComboBox &>(ControlOf(ModePanels::kArqmPanel, "Channels num")), 2);
    EXPECT_EQ(engine.Settings().arqmChannelsIndex, 2);
    Configuration gathered;
    panels->Gather(gathered);
    EXPECT_EQ(gathered.arqmChannels, 4);
    EXPECT_EQ(gathered.fecCharset, 2);
    EXPECT_EQ(gathered.fecCorrection, 1);
}

TEST_F(ModePanelsTest, AProtocolAppliedElsewhereShowsWithoutAnEditBack)
{
    Build();
    Publish([](SettingsModel &s) { FindDefaultProtocol("ARQ6-90")->ApplyTo(s); });
    const uint64_t before = engine.Changes().settings.load();
    panels->Refresh();
    EXPECT_EQ(engine.Changes().settings.load(), before) << "showing the settings sends nothing back";
    EXPECT_EQ(panels->ModeList().SelectedText(), "ARQ");
    EXPECT_EQ(VisiblePanels(), std::vector<int32_t>{ModePanels::kArqPanel});
    auto value = [&](const char *label) {
        return static_cast<Oru_NumericField &>(ControlOf(ModePanels::kArqPanel, label)).Value();
    };
    EXPECT_EQ(value("Cycle length (bits)"), 90);
    EXPECT_EQ(value("Characters in cycle"), 6);
    EXPECT_EQ(value("Repetition cycle length"), 1);
}

TEST_F(ModePanelsTest, AFieldBeingTypedInKeepsItsTextWhenOtherSettingsMove)
{
    Publish([](SettingsModel &s) { s.mode = kModeArq; });
    Build();
    Oru_Window &field = ControlOf(ModePanels::kArqPanel, "Cycle length (bits)");
    Click(field);
    display->TypeText(frame.NativeHandle(), "7");
    PumpMessages();
    const std::string typed = field.Text();
    // The frame thread measures the bit rate while the user types.
    Publish([](SettingsModel &s) { s.baudrate = 96; });
    panels->Refresh();
    EXPECT_EQ(field.Text(), typed);
    Publish([](SettingsModel &s) { s.arqCycleLength = 70; });
    panels->Refresh();
    EXPECT_EQ(field.Text(), "70") << "a change of the field itself shows";
}

TEST_F(ModePanelsTest, GatheredValuesRoundTrip)
{
    Configuration saved;
    saved.mode = kModeCis;
    saved.parity = 2;
    saved.arqCycleLength = 98;
    saved.arqCharsInCycle = 7;
    saved.arqInvertingRate = 4;
    saved.arqRepetitionCycle = 8;
    saved.arqCharset = 1;
    saved.packetCrcIgnore = 1;
    saved.fecCharsInCycle = 5;
    saved.fecInvertingRate = 2;
    saved.fecCharset = 2;
    saved.cisFrameSize = 14; // not offered by the list: kept as stored
    saved.cisMinSync = 30;
    saved.cisMaxErrors = 40;
    saved.arqmChannels = 1;
    saved.arqmRepetitionCycle = 8;
    saved.arqmVersion = 1;
    saved.unshiftOnSpace = 1;
    saved.fecCorrection = 1;
    saved.ApplyTo(engine.Settings());
    engine.ApplyPendingEdits();
    Build();
    EXPECT_EQ(VisiblePanels(), std::vector<int32_t>{ModePanels::kCisPanel});

    Configuration gathered;
    panels->Gather(gathered);
    EXPECT_EQ(gathered.ToBytes(), saved.ToBytes());
}

TEST_F(ModePanelsTest, Picture)
{
    Publish([](SettingsModel &s) { s.mode = kModeFec; });
    Build();
    SaveFramePng("windows-mode-panels-fec.png");
    Pick(panels->ModeList(), 3);
    SaveFramePng("windows-mode-panels-arq.png");
}

} // namespace
} // namespace sirrel::test
