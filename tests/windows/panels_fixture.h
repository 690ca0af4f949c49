// A decoder engine over a silent source, with its protocol library and translation tables in a scratch data
// folder, and a frame on the headless display for the panels to live in: the panels' own stand-in for the
// decoder window.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../ui/headless_fixture.h"
#include "engine/decoder_engine.h"
#include "protocols/configuration.h"
#include "protocols/protocol_library.h"
#include "protocols/translation_tables.h"
#include "ui/frame.h"
#include "ui/lists.h"
#include "ui/platform/messages.h"
#include "windows/window_context.h"
// The context names the instance's services; the panels never use them.
#include "../../plugin/host/window_services.h"

namespace sirrel::test {

class SilentSource : public AudioSource {
public:
    uint32_t StartRate() const override { return 11025; }
    uint32_t ProcessingRateFor(uint32_t rate) const override { return rate; }
    uint32_t Read(int16_t *, uint32_t) override { return 0; }
};

class NoServices : public WindowServices {
public:
    uint32_t MessageBox(uint32_t, const std::string &, const std::string &, uint32_t) override { return 0; }
    uint32_t CreateMainWindow(const std::string &) override { return 0; }
    bool RequestClose(uint32_t) override { return false; }
    void DestroyWindow(uint32_t) override {}
    uint32_t WaveInDeviceCount() override { return 0; }
};

inline std::string ScratchDataFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "sirrel-panels-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    return pattern + "/";
}

class PanelsTest : public HeadlessUi {
protected:
    PanelsTest()
    {
        tables.Construct("Default");
        frame.CreateFrame(nullptr, 0, 0, 460, 360, "Panels", false);
        frame.ShowCommand(kShowShow);
    }
    ~PanelsTest() override { std::filesystem::remove_all(folder); }

    // Input goes to the frame's native window at the control's place.
    void Click(Oru_Window &control, int32_t x = -1, int32_t y = -1)
    {
        display->Click(control.TopLevel()->NativeHandle(), control.OffsetX() + (x < 0 ? control.Width() / 2 : x),
                       control.OffsetY() + (y < 0 ? control.Height() / 2 : y));
        PumpMessages();
    }
    // Focuses a field, replaces its text and presses return.
    void Enter(Oru_Window &field, const std::string &text)
    {
        Click(field);
        const uint32_t window = field.TopLevel()->NativeHandle();
        display->PressKey(window, kKeyEnd);
        for (size_t i = 0; i < 12; ++i)
            display->PressKey(window, kKeyBack);
        display->TypeText(window, text);
        display->PressKey(window, kKeyReturn);
        PumpMessages();
    }
    // Picks entry `index` of a drop-down list as a user would: a click on its row in the dropped list, or, for a
    // list longer than the few rows it drops (it may drop scrolled), the arrow keys on the closed box.
    void Pick(Oru_ComboBox &combo, int32_t index)
    {
        Click(combo);
        if (combo.List().Count() <= 8) {
            Oru_ListBox &list = combo.List();
            display->Click(list.TopLevel()->NativeHandle(), 4, index * Oru_ListBox::kRowHeight + 4);
            PumpMessages();
            return;
        }
        const uint32_t window = combo.TopLevel()->NativeHandle();
        display->PressKey(window, kKeyEscape);
        PumpMessages();
        for (int32_t guard = 0; combo.Selected() != index && guard < 100; ++guard) {
            display->PressKey(window, combo.Selected() < index ? kKeyDown : kKeyUp);
            PumpMessages();
        }
    }
    // While a modal loop waits: one step at a time on the newest window ("\r" return, "\x1b" escape, "\t" tab,
    // anything else typed), noting the caption of every new window. Once the steps are done, return answers.
    void Answer(std::vector<std::string> steps)
    {
        display->SetIdleHandler([this, steps, next = size_t(0), last = uint32_t(0)]() mutable {
            const auto windows = display->Windows();
            if (windows.empty())
                return;
            const uint32_t newest = windows.back();
            if (newest != last) {
                captions.push_back(display->Record(newest).title);
                last = newest;
            }
            const std::string step = next < steps.size() ? steps[next++] : "\r";
            if (step == "\r")
                display->PressKey(newest, kKeyReturn);
            else if (step == "\x1b")
                display->PressKey(newest, kKeyEscape);
            else if (step == "\t")
                display->PressKey(newest, kKeyTab);
            else
                display->TypeText(newest, step);
        });
    }
    void SaveFramePng(const std::string &name)
    {
        frame.Paint();
        EXPECT_TRUE(display->SavePng(frame.NativeHandle(), name));
    }

    std::string folder = ScratchDataFolder();
    SilentSource source;
    DecoderEngine engine{source, SettingsModel{}};
    ProtocolLibrary protocols{folder + "SirrelSettings.dat", engine.Settings()};
    TranslationTables tables{folder + "SirrelTables.dat", engine.Settings()};
    Configuration configuration;
    NoServices services;
    WindowContext context{engine, protocols, tables, configuration, services, folder};
    Oru_Frame frame;
    std::vector<std::string> captions;
};

} // namespace sirrel::test
