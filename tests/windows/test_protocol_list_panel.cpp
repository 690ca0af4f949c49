// The protocol list panel over a real library file: choosing a protocol reaches the engine, and "Add",
// "Update", "Remove" and "Create default" ask their questions, change the file and show their messages in
// boxes, answered here as a user would.
#include <chrono>
#include <fstream>
#include <semaphore>
#include <thread>

#include "panels_fixture.h"
#include "protocols/product_name.h"
#include "protocols/protocol_record.h"
#include "windows/protocol_list_panel.h"

namespace sirrel::test {
namespace {

class ProtocolListPanelTest : public PanelsTest {
protected:
    // The records of the file, by name, in file order.
    std::vector<std::string> Stored() { return StoredProtocolNames(protocols.Path()); }

    void Store(std::initializer_list<const char *> defaults)
    {
        std::ofstream out(protocols.Path(), std::ios::binary | std::ios::app);
        for (const char *name : defaults) {
            const auto bytes = FindDefaultProtocol(name)->ToBytes();
            out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        }
    }

    // Built as the instance builds it: the list loaded first.
    ProtocolListPanel &Build()
    {
        protocols.LoadList();
        panel = std::make_unique<ProtocolListPanel>(frame, Rect{10, 40, 224, 124}, context);
        return *panel;
    }

    std::vector<std::string> Shown()
    {
        std::vector<std::string> names;
        for (int32_t i = 0; i < panel->List().List().Count(); ++i)
            names.push_back(panel->List().List().Item(i));
        return names;
    }

    std::unique_ptr<ProtocolListPanel> panel;
};

TEST_F(ProtocolListPanelTest, ShowsTheFileAndSelectsTheSavedProtocol)
{
    Store({"SITOR-B", "Packet Radio - 1200bps", "Baudot"});
    configuration.protocol = "Baudot";
    Build();
    EXPECT_EQ(Shown(), (std::vector<std::string>{"SITOR-B", "Packet Radio - 1200bps", "Baudot"}));
    EXPECT_EQ(panel->List().SelectedText(), "Baudot");
    Configuration gathered;
    panel->Gather(gathered);
    EXPECT_EQ(gathered.protocol, "Baudot");
    EXPECT_EQ(engine.Settings().mode, kModePacket) << "showing the saved protocol applies nothing";
}

TEST_F(ProtocolListPanelTest, ChoosingAProtocolChangesTheNextFramesSettings)
{
    Store({"Packet Radio - 1200bps", "SITOR-B", "Baudot"});
    Build();
    Pick(panel->List(), 1);
    EXPECT_DOUBLE_EQ(engine.Settings().space, 107.0);
    EXPECT_FLOAT_EQ(engine.Chain().Spectrum().Marker(0), 107.0f) << "the tone markers show the protocol's tones";
    const uint64_t framesBefore = engine.FramesProcessed();
    const std::vector<int16_t> silence(DecoderEngine::kFrameSize, 0);
    engine.Deliver(silence.data(), uint32_t(silence.size()));
    ASSERT_EQ(engine.FramesProcessed(), framesBefore + 1);

    const SettingsModel s = engine.Published();
    EXPECT_EQ(s.mode, kModeFec);
    EXPECT_TRUE(s.correlative);
    EXPECT_DOUBLE_EQ(s.baudrate, 100.0);
    EXPECT_TRUE(s.tuneAuto);
    EXPECT_EQ(s.translationTableName, "Default");
    Configuration gathered;
    panel->Gather(gathered);
    EXPECT_EQ(gathered.protocol, "SITOR-B");
    EXPECT_EQ(panel->List().SelectedText(), "SITOR-B") << "the list still shows the chosen protocol";
    EXPECT_TRUE(captions.empty()) << "no box";
}

TEST_F(ProtocolListPanelTest, AddAsksForTheNameAndStoresTheControlsUnderIt)
{
    struct Case {
        const char *what;
        std::vector<std::string> steps;
        std::vector<std::string> stored;
        std::vector<std::string> captions;
    };
    const std::string ask = "New protocol name";
    const std::string box = kProductCaption;
    const Case cases[] = {
        {"a new name", {"My ARQ", "\r"}, {"Baudot", "My ARQ"}, {ask}},
        {"cancelled", {"My ARQ", "\x1b"}, {"Baudot"}, {ask}},
        {"a name already there", {"Baudot", "\r", "\r"}, {"Baudot"}, {ask, box}},
        {"no name", {"\r", "\r"}, {"Baudot"}, {ask, box}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(protocols.Path());
        Store({"Baudot"});
        Build();
        captions.clear();
        Answer(c.steps);
        Click(panel->AddButton());
        EXPECT_EQ(Stored(), c.stored);
        EXPECT_EQ(captions, c.captions);
        EXPECT_EQ(Shown(), c.stored);
    }
}

TEST_F(ProtocolListPanelTest, AddedProtocolHoldsTheControlsAndIsSelected)
{
    Store({"Baudot"});
    Build();
    engine.Settings().mode = kModeArq;
    engine.Settings().arqCycleLength = 98;
    Answer({"My ARQ", "\r"});
    Click(panel->AddButton());
    const std::optional<ProtocolRecord> added = FindProtocol(protocols.Path(), "My ARQ");
    ASSERT_TRUE(added.has_value());
    EXPECT_EQ(added->params.mode, kModeArq);
    EXPECT_EQ(added->params.Arq().cycleLength, 98);
    EXPECT_EQ(panel->List().SelectedText(), "My ARQ");
}

TEST_F(ProtocolListPanelTest, UpdateRewritesAndRemoveDeletesTheSelectedProtocol)
{
    Store({"Packet Radio - 1200bps", "SITOR-B"});
    Build();
    Pick(panel->List(), 1);
    engine.Settings().baudrate = 75;
    Click(panel->UpdateButton());
    EXPECT_DOUBLE_EQ(FindProtocol(protocols.Path(), "SITOR-B")->baudrate, 75.0);
    EXPECT_DOUBLE_EQ(FindProtocol(protocols.Path(), "Packet Radio - 1200bps")->baudrate, 1200.0);

    Click(panel->RemoveButton());
    EXPECT_EQ(Stored(), std::vector<std::string>{"Packet Radio - 1200bps"});
    EXPECT_EQ(Shown(), std::vector<std::string>{"Packet Radio - 1200bps"});
    Configuration gathered;
    gathered.protocol = "something";
    panel->Gather(gathered);
    EXPECT_EQ(gathered.protocol, "") << "the list's text is cleared";
    EXPECT_TRUE(captions.empty());
}

TEST_F(ProtocolListPanelTest, CreateDefaultWritesTheDefaultsOnlyOnYes)
{
    struct Case {
        std::vector<std::string> steps;
        size_t stored;
    };
    // The question's buttons are "Yes" then "No": tab moves to "No".
    for (const Case &c : {Case{{"\t", "\r"}, 1}, Case{{"\r"}, 35}}) {
        std::filesystem::remove(protocols.Path());
        Store({"Baudot"});
        Build();
        captions.clear();
        Answer(c.steps);
        Click(panel->CreateDefaultButton());
        EXPECT_EQ(captions, std::vector<std::string>{kProductCaption});
        EXPECT_EQ(Stored().size(), c.stored);
        EXPECT_EQ(Shown().size(), c.stored);
    }
    EXPECT_EQ(Stored().front(), "Baudot") << "rewritten in place";
}

TEST_F(ProtocolListPanelTest, ALibraryItCannotOpenIsReportedInABox)
{
    // A folder where the file should be.
    std::filesystem::create_directories(protocols.Path());
    Build();
    Answer({"Name", "\r", "\r"});
    Click(panel->AddButton());
    EXPECT_EQ(captions, (std::vector<std::string>{"New protocol name", kProductCaption}));
    EXPECT_TRUE(Shown().empty());
}

TEST_F(ProtocolListPanelTest, WhileFramesRunTheMessageComesBackToThisThread)
{
    Store({"Baudot"});
    Build();
    std::atomic<bool> stop{false};
    std::atomic<std::thread::id> ranOn{};
    std::thread frames([&] {
        const std::vector<int16_t> silence(DecoderEngine::kFrameSize, 0);
        while (!stop.load()) {
            engine.Deliver(silence.data(), uint32_t(silence.size()));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    // "Add" of a name already there: the edit runs on the frame thread, the box shows here.
    Answer({"Baudot", "\r", "\r"});
    Click(panel->AddButton());
    for (int i = 0; i < 300 && captions.size() < 2; ++i) {
        PumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stop.store(true);
    frames.join();
    EXPECT_EQ(captions, (std::vector<std::string>{"New protocol name", kProductCaption}));
    EXPECT_EQ(Stored(), std::vector<std::string>{"Baudot"});
}

// A frame in progress on another thread: edits posted meanwhile wait for the next frame.
class BusyFrame {
public:
    explicit BusyFrame(DecoderEngine &engine)
        : thread_([this, &engine] {
              engine.Post([this](EngineEdit &) {
                  entered_.release();
                  leave_.acquire();
              });
          })
    {
        entered_.acquire();
    }
    ~BusyFrame()
    {
        leave_.release();
        thread_.join();
    }

private:
    std::binary_semaphore entered_{0};
    std::binary_semaphore leave_{0};
    std::thread thread_;
};

TEST_F(ProtocolListPanelTest, EveryArrowKeyPressCountsWhileEditsAreAnsweredLate)
{
    std::vector<std::string> names;
    for (const ProtocolRecord &record : DefaultProtocols()) {
        Store({record.name.c_str()});
        names.push_back(record.name);
    }
    ASSERT_GE(names.size(), 9u);
    Build();
    Pick(panel->List(), 0);
    const uint32_t window = panel->List().TopLevel()->NativeHandle();
    // Rounds of quick presses while a frame runs; the answers of one round come in during the next one.
    const int32_t presses = int32_t(names.size()) - 1;
    for (int32_t pressed = 0; pressed < presses;) {
        {
            BusyFrame busy(engine);
            for (int32_t i = 0; i < 4 && pressed < presses; ++i, ++pressed) {
                display->PressKey(window, kKeyDown);
                PumpMessages();
            }
        }
        engine.ApplyPendingEdits();
    }
    PumpMessages();
    panel->TakeResults();
    EXPECT_EQ(panel->List().Selected(), presses);
    EXPECT_EQ(panel->List().SelectedText(), names.back());
    Configuration gathered;
    panel->Gather(gathered);
    EXPECT_EQ(gathered.protocol, names.back()) << "the last press is the protocol in force";
}

TEST_F(ProtocolListPanelTest, Picture)
{
    Store({"SITOR-B", "Packet Radio - 1200bps", "Baudot"});
    configuration.protocol = "SITOR-B";
    Build();
    SaveFramePng("windows-protocol-list-panel.png");
}

} // namespace
} // namespace sirrel::test
