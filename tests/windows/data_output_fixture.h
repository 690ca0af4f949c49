// The "Data Output" window over a silent engine: characters reach its channels the way the decoders deliver
// them, through the sink in an engine edit.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "decoders/decoder.h"
#include "panels_fixture.h"
#include "windows/data_output_view.h"

namespace sirrel::test {

class DataOutputTest : public PanelsTest {
protected:
    DataOutputView &Build()
    {
        view = std::make_unique<DataOutputView>(context);
        EXPECT_TRUE(view->Build());
        view->ShowWindow();
        PumpMessages();
        return *view;
    }
    ~DataOutputTest() override { view.reset(); }

    // Codes as a decoder of `mode` delivers them; the packet ones carry their field class.
    void Deliver(int32_t mode, const std::vector<DecodedCode> &codes)
    {
        engine.Post([this, mode, codes](EngineEdit &) {
            DecoderSink &sink = engine.Decoders().Sink();
            sink.BeginBlock(mode);
            for (const DecodedCode &code : codes)
                sink.Take(code);
            engine.Output().RequestViewsRedraw();
            engine.Output().RequestStatisticsRedraw();
        });
        view->Refresh();
    }
    // Plain text to a channel ("\r" starts a line).
    void Write(const std::string &text, int32_t channel = 0)
    {
        std::vector<DecodedCode> codes;
        for (unsigned char c : text)
            codes.push_back({channel, c});
        Deliver(kModeIra, codes);
    }

    // The channel's page, brought to the front by a click on its tab.
    DataOutputView::Channel &Channel(int32_t channel)
    {
        Oru_PageContainer &pages = view->Parts().pages;
        if (pages.Current() != channel) {
            const int32_t tab = std::clamp(pages.Width() / pages.PageCount(), 1, 120);
            ClickIn(pages, channel * tab + tab / 2, Oru_PageContainer::kTabHeight / 2);
        }
        EXPECT_EQ(pages.Current(), channel);
        return view->Parts().channels[size_t(channel)];
    }
    uint32_t Handle() { return view->NativeHandle(); }

    void ClickIn(Oru_Window &control, int32_t x, int32_t y)
    {
        display->Click(control.TopLevel()->NativeHandle(), control.OffsetX() + x, control.OffsetY() + y);
        PumpMessages();
    }
    // Row `row` of a radio group.
    void ClickRow(Oru_RadioGroup &group, int32_t row)
    {
        ClickIn(group, 8, row * Oru_RadioGroup::kRowHeight + Oru_RadioGroup::kRowHeight / 2);
    }

    static std::string FileText(const std::string &path)
    {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::unique_ptr<DataOutputView> view;
};

} // namespace sirrel::test
