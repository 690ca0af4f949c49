#include "windows/mode_panels.h"

#include <algorithm>

#include "engine/decoder_engine.h"
#include "protocols/configuration.h"

namespace sirrel {

namespace {

constexpr int32_t kRowHeight = 22;
constexpr int32_t kRowStep = 24;
constexpr int32_t kFieldWidth = 76;
// Four digits fit, and the longest label beside it ("Repetition cycle length") reads whole.
constexpr int32_t kNumberWidth = 60;
constexpr int32_t kChoiceWidth = 104;

struct ModeEntry {
    const char *name;
    int32_t mode;
    int32_t panel; // -1: none
};

// The "Mode" list, in its order.
constexpr ModeEntry kModes[] = {
    {"ITA2 (Baudot)", kModeIta2, ModePanels::kAsyncPanel},
    {"IRA (ASCII 7)", kModeIra, ModePanels::kAsyncPanel},
    {"ASCII 8", kModeAscii8, ModePanels::kAsyncPanel},
    {"ARQ", kModeArq, ModePanels::kArqPanel},
    {"ARQ-M", kModeArqm, ModePanels::kArqmPanel},
    {"FEC", kModeFec, ModePanels::kFecPanel},
    {"Packet Radio", kModePacket, ModePanels::kPacketPanel},
    {"CIS", kModeCis, ModePanels::kCisPanel},
    {"Raw bits", kModeRawBits, -1},
};

int32_t ListPosition(int32_t mode)
{
    for (size_t i = 0; i < std::size(kModes); ++i) {
        if (kModes[i].mode == mode)
            return int32_t(i);
    }
    return -1;
}

enum class Kind { Number, Choice, Check };

struct RowSpec {
    int32_t panel;
    Kind kind;
    const char *label;
    double minimum = 0;
    double maximum = 0;
    double SettingsModel::*number = nullptr;
    int32_t SettingsModel::*choice = nullptr;
    std::vector<const char *> items = {};
    bool SettingsModel::*check = nullptr;
    // Shown only in the ITA2 mode of its panel (the asynchronous panel serves three modes).
    bool ita2Only = false;
};

const std::vector<const char *> kCharsets = {"CCIR476-5", "ITA3", "ITA2-P"};

// Every parameter, panel by panel, top to bottom.
const std::vector<RowSpec> &Rows()
{
    using P = ModePanels;
    using S = SettingsModel;
    static const std::vector<RowSpec> rows = {
        {.panel = P::kAsyncPanel,
         .kind = Kind::Choice,
         .label = "Parity",
         .choice = &S::parityIndex,
         .items = {"None", "Even", "Odd"}},
        {.panel = P::kAsyncPanel,
         .kind = Kind::Check,
         .label = "Unshift on space",
         .check = &S::unshiftOnSpace,
         .ita2Only = true},

        {P::kArqPanel, Kind::Number, "Cycle length (bits)", 7, 1000, &S::arqCycleLength},
        {P::kArqPanel, Kind::Number, "Characters in cycle", 1, 1000, &S::arqCharsInCycle},
        {P::kArqPanel, Kind::Number, "Inverting rate", 0, 1000, &S::arqInvertingRate},
        {P::kArqPanel, Kind::Number, "Repetition cycle length", 1, 1000, &S::arqRepetitionCycle},
        {.panel = P::kArqPanel,
         .kind = Kind::Choice,
         .label = "Character set",
         .choice = &S::arqCharsetIndex,
         .items = kCharsets},
        {.panel = P::kArqPanel, .kind = Kind::Check, .label = "ARQ correction", .check = &S::arqCorrection},
        {.panel = P::kArqPanel, .kind = Kind::Check, .label = "Unshift on space", .check = &S::unshiftOnSpace},

        {.panel = P::kPacketPanel, .kind = Kind::Check, .label = "CRC ignore", .check = &S::packetCrcIgnore},

        {P::kFecPanel, Kind::Number, "Characters in cycle", 1, 1000, &S::fecCharsInCycle},
        {P::kFecPanel, Kind::Number, "Inverting rate", 0, 1000, &S::fecInvertingRate},
        {.panel = P::kFecPanel,
         .kind = Kind::Choice,
         .label = "Character set",
         .choice = &S::fecCharsetIndex,
         .items = kCharsets},
        {.panel = P::kFecPanel, .kind = Kind::Check, .label = "FEC correction", .check = &S::fecCorrection},
        {.panel = P::kFecPanel, .kind = Kind::Check, .label = "Unshift on space", .check = &S::unshiftOnSpace},

        // Only "11" is offered; the other sizes come from stored settings and then select nothing.
        {.panel = P::kCisPanel,
         .kind = Kind::Choice,
         .label = "Frame size",
         .choice = &S::cisFrameSizeIndex,
         .items = {"11"}},
        {P::kCisPanel, Kind::Number, "Min syncro size", 1, 255, &S::cisMinSyncFrames},
        {P::kCisPanel, Kind::Number, "Max errors num", 1, 255, &S::cisMaxErrors},
        {.panel = P::kCisPanel, .kind = Kind::Check, .label = "Unshift on space", .check = &S::unshiftOnSpace},

        {.panel = P::kArqmPanel,
         .kind = Kind::Choice,
         .label = "Channels num",
         .choice = &S::arqmChannelsIndex,
         .items = {"1", "2", "4"}},
        {P::kArqmPanel, Kind::Number, "Repetition cycle", 1, 255, &S::arqmRepetitionCycle},
        {.panel = P::kArqmPanel,
         .kind = Kind::Choice,
         .label = "Version",
         .choice = &S::arqmVersionIndex,
         .items = {"242", "342"}},
        {.panel = P::kArqmPanel, .kind = Kind::Check, .label = "Unshift on space", .check = &S::unshiftOnSpace},
    };
    return rows;
}

} // namespace

struct ModePanels::Row {
    ModePanels *owner;
    // A copy: a library unloaded with its window open ends the table before the window.
    const RowSpec spec;
    Oru_Label label;
    Oru_NumericField number;
    Oru_ComboBox choice;
    Oru_CheckBox check;

    Oru_Window &Control()
    {
        switch (spec.kind) {
        case Kind::Number:
            return number;
        case Kind::Choice:
            return choice;
        default:
            return check;
        }
    }
};

ModePanels::ModePanels(Oru_Window &parent, Rect area, WindowContext &context) : context_(context)
{
    Create(&parent, area.left, area.top, area.Width(), area.Height(), false, kStyleWindowless, 0);
    SetColors(parent.BackgroundColor(), parent.TextColor());
    group_.CreateGroup(this, ClientRect(), "Decoder");
    const Rect inner = group_.Inner();

    modeLabel_.CreateLabel(&group_, inner.left, inner.top, 50, kRowHeight, "Mode");
    mode_.CreateCombo(&group_, inner.right - 2 * kFieldWidth, inner.top, 2 * kFieldWidth, kRowHeight, false);
    for (const ModeEntry &entry : kModes)
        mode_.AddItem(entry.name);
    mode_.SetClickCallback(&ModePanels::ModePicked, this);

    const int32_t panelTop = inner.top + kRowStep + 4;
    for (Oru_Window &panel : panels_) {
        panel.Create(&group_, inner.left, panelTop, inner.Width(), inner.bottom - panelTop, false, kStyleWindowless, 0);
        panel.SetColors(BackgroundColor(), TextColor());
    }
    std::array<int32_t, kPanelCount> used{};
    for (size_t i = 0; i < Rows().size(); ++i) {
        const int32_t panel = Rows()[i].panel;
        BuildRow(i, used[size_t(panel)]);
        used[size_t(panel)] += kRowStep;
    }

    published_ = context_.engine.Published();
    seen_ = context_.engine.Changes().settings.load();
    mode_.Select(ListPosition(published_.mode));
    for (const std::unique_ptr<Row> &row : rows_)
        ShowRow(*row, published_);
    ShowMode(published_.mode);
    SetTimer(kRefreshTimer, kRefreshMilliseconds);
}

ModePanels::~ModePanels() { KillTimer(kRefreshTimer); }

void ModePanels::BuildRow(size_t index, int32_t top)
{
    const RowSpec &spec = Rows()[index];
    auto row = std::unique_ptr<Row>(new Row{this, spec, {}, {}, {}, {}});
    Oru_Window &panel = panels_[size_t(spec.panel)];
    const int32_t width = panel.Width();
    switch (spec.kind) {
    case Kind::Number:
        row->label.CreateLabel(&panel, 0, top, width - kNumberWidth - 4, kRowHeight, spec.label);
        row->number.CreateNumeric(&panel, width - kNumberWidth, top, kNumberWidth, kRowHeight,
                                  Oru_NumericField::Kind::Integer);
        row->number.SetLimits(spec.minimum, spec.maximum);
        break;
    case Kind::Choice:
        row->label.CreateLabel(&panel, 0, top, width - kChoiceWidth - 4, kRowHeight, spec.label);
        row->choice.CreateCombo(&panel, width - kChoiceWidth, top, kChoiceWidth, kRowHeight, false);
        for (const char *item : spec.items)
            row->choice.AddItem(item);
        break;
    case Kind::Check:
        row->check.CreateCheckBox(&panel, 0, top, width, kRowHeight, spec.label);
        break;
    }
    row->Control().SetClickCallback(&ModePanels::RowChanged, row.get());
    rows_.push_back(std::move(row));
}

Oru_Window *ModePanels::Control(Panel panel, const std::string &label)
{
    for (const std::unique_ptr<Row> &row : rows_) {
        if (row->spec.panel == panel && label == row->spec.label)
            return &row->Control();
    }
    return nullptr;
}

void ModePanels::ShowRow(Row &row, const SettingsModel &settings)
{
    switch (row.spec.kind) {
    case Kind::Number:
        row.number.SetValue(settings.*row.spec.number);
        break;
    case Kind::Choice:
        row.choice.Select(settings.*row.spec.choice);
        break;
    case Kind::Check:
        row.check.SetChecked(settings.*row.spec.check);
        break;
    }
}

void ModePanels::ShowMode(int32_t mode)
{
    const int32_t position = ListPosition(mode);
    const int32_t shown = position < 0 ? -1 : kModes[position].panel;
    for (int32_t p = 0; p < kPanelCount; ++p)
        panels_[size_t(p)].ShowCommand(p == shown ? kShowShow : kShowHide);
    for (const std::unique_ptr<Row> &row : rows_) {
        if (row->spec.ita2Only)
            row->Control().ShowCommand(mode == kModeIta2 ? kShowShow : kShowHide);
    }
    Redraw();
}

void ModePanels::ModePicked(Oru_Window *, void *panels)
{
    auto *self = static_cast<ModePanels *>(panels);
    const int32_t position = self->mode_.Selected();
    if (position < 0)
        return;
    const int32_t mode = kModes[position].mode;
    self->ShowMode(mode);
    self->context_.engine.Post([mode](EngineEdit &edit) { edit.settings.mode = mode; });
}

void ModePanels::RowChanged(Oru_Window *, void *context)
{
    Row &row = *static_cast<Row *>(context);
    DecoderEngine &engine = row.owner->context_.engine;
    switch (row.spec.kind) {
    case Kind::Number:
        engine.Post([member = row.spec.number, value = row.number.Value()](EngineEdit &edit) {
            edit.settings.*member = value;
        });
        break;
    case Kind::Choice:
        if (row.choice.Selected() >= 0) {
            engine.Post([member = row.spec.choice, value = row.choice.Selected()](EngineEdit &edit) {
                edit.settings.*member = value;
            });
        }
        break;
    case Kind::Check:
        // The same choice shows on several panels; the others follow at the next refresh.
        engine.Post([member = row.spec.check, value = row.check.Checked()](EngineEdit &edit) {
            edit.settings.*member = value;
        });
        break;
    }
}

void ModePanels::TimerTick(uint32_t id)
{
    if (id == kRefreshTimer)
        Refresh();
}

void ModePanels::Refresh()
{
    const uint64_t changes = context_.engine.Changes().settings.load();
    if (changes == seen_)
        return;
    seen_ = changes;
    const SettingsModel now = context_.engine.Published();
    if (now.mode != published_.mode) {
        mode_.Select(ListPosition(now.mode));
        ShowMode(now.mode);
    }
    for (const std::unique_ptr<Row> &row : rows_) {
        const RowSpec &spec = row->spec;
        const bool moved = (spec.number && now.*spec.number != published_.*spec.number) ||
                           (spec.choice && now.*spec.choice != published_.*spec.choice) ||
                           (spec.check && now.*spec.check != published_.*spec.check);
        if (moved)
            ShowRow(*row, now);
    }
    published_ = now;
}

void ModePanels::ReadControls(SettingsModel &settings) const
{
    if (mode_.Selected() >= 0)
        settings.mode = kModes[mode_.Selected()].mode;
    for (const std::unique_ptr<Row> &row : rows_) {
        const RowSpec &spec = row->spec;
        switch (spec.kind) {
        case Kind::Number:
            settings.*spec.number = row->number.Value();
            break;
        case Kind::Choice:
            // A stored value the list does not offer stays as it is.
            if (row->choice.Selected() >= 0)
                settings.*spec.choice = row->choice.Selected();
            break;
        case Kind::Check:
            break;
        }
    }
    // A shared choice: the box of the panel shown speaks for all (they agree after every refresh).
    for (const std::unique_ptr<Row> &row : rows_) {
        if (row->spec.kind == Kind::Check && panels_[size_t(row->spec.panel)].Visible())
            settings.*row->spec.check = row->check.Checked();
    }
}

void ModePanels::Gather(Configuration &c) const
{
    SettingsModel settings = published_;
    ReadControls(settings);
    Configuration g;
    g.GatherFrom(settings);
    c.mode = g.mode;
    c.parity = g.parity;
    c.arqCycleLength = g.arqCycleLength;
    c.arqCharsInCycle = g.arqCharsInCycle;
    c.arqInvertingRate = g.arqInvertingRate;
    c.arqRepetitionCycle = g.arqRepetitionCycle;
    c.arqCharset = g.arqCharset;
    c.packetCrcIgnore = g.packetCrcIgnore;
    c.fecCharsInCycle = g.fecCharsInCycle;
    c.fecInvertingRate = g.fecInvertingRate;
    c.fecCharset = g.fecCharset;
    c.cisFrameSize = g.cisFrameSize;
    c.cisMinSync = g.cisMinSync;
    c.cisMaxErrors = g.cisMaxErrors;
    c.arqmChannels = g.arqmChannels;
    c.arqmRepetitionCycle = g.arqmRepetitionCycle;
    c.arqmVersion = g.arqmVersion;
    c.unshiftOnSpace = g.unshiftOnSpace;
    c.fecCorrection = g.fecCorrection;
    c.arqCorrection = g.arqCorrection;
}

} // namespace sirrel
