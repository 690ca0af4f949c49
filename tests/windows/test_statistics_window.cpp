// The "Character statistics" window: one row per code of the current mode, labelled as the sink shows the code,
// following the mode; "Reset" clears the counters.
#include "data_output_fixture.h"
#include "decoders/character_sets.h"

namespace sirrel::test {
namespace {

class StatisticsWindowTest : public DataOutputTest {
protected:
    StatisticsWindow &Window()
    {
        StatisticsWindow &window = view->Statistics();
        if (!window.Visible())
            ClickIn(view->Parts().statistics, 10, 10);
        EXPECT_TRUE(window.Visible());
        window.Refresh();
        return window;
    }
    void SetMode(int32_t mode)
    {
        engine.Post([mode](EngineEdit &edit) { edit.settings.mode = mode; });
        view->Refresh();
    }
};

uint8_t Ita2CodeOf(char c)
{
    uint8_t code = 0;
    while (Ita2Character(code) != uint8_t(c))
        ++code;
    return code;
}

TEST_F(StatisticsWindowTest, RowsFollowTheModeWithTheSinksLabels)
{
    Build();
    SetMode(kModeIta2);
    const uint8_t cr = Ita2CodeOf('\r');
    const uint8_t lf = Ita2CodeOf('\n');
    const uint8_t e = Ita2CodeOf('E');
    Deliver(kModeIta2, {{0, cr}, {0, cr}, {0, e}, {0, lf}});
    const std::vector<StatisticsRow> &rows = Window().Rows();
    ASSERT_EQ(rows.size(), 64u);
    char expected[32];
    std::snprintf(expected, sizeof expected, "<CR> - 0x%02X - 2", cr);
    EXPECT_EQ(rows[cr].label, expected);
    std::snprintf(expected, sizeof expected, "<LF> - 0x%02X - 1", lf);
    EXPECT_EQ(rows[lf].label, expected);
    std::snprintf(expected, sizeof expected, "E - 0x%02X - 1", e);
    EXPECT_EQ(rows[e].label, expected);
    view->Statistics().Paint();
    EXPECT_TRUE(display->SavePng(view->Statistics().NativeHandle(), "windows-character-statistics.png"));

    struct Case {
        int32_t mode;
        size_t rows;
    };
    for (const Case &c : {Case{kModeIra, 128}, Case{kModeArq, 67}, Case{kModePacket, 256}, Case{kModeRawBits, 2}}) {
        SetMode(c.mode);
        EXPECT_EQ(Window().Rows().size(), c.rows) << c.mode;
    }
}

TEST_F(StatisticsWindowTest, ResetClearsEveryCounter)
{
    Build();
    SetMode(kModeIra);
    Deliver(kModeIra, {{0, 'a'}, {0, 'a'}, {0, 'b'}});
    StatisticsWindow &window = Window();
    EXPECT_EQ(window.Rows()['a'].count, 2.0);
    ClickIn(window.ResetButton(), 10, 10);
    window.Refresh();
    EXPECT_EQ(engine.Output().Statistics().Counter('a'), 0.0);
    EXPECT_EQ(window.Rows()['a'].count, 0.0);
    EXPECT_EQ(window.Rows()['b'].label, "b - 0x62 - 0");
}

} // namespace
} // namespace sirrel::test
