// The controls as a user drives them: check box, radio group, edit field with the clipboard, numeric fields.
#include "headless_fixture.h"
#include "ui/controls.h"
#include "ui/edit_field.h"
#include "ui/frame.h"
#include "ui/numeric_field.h"
#include "ui/text_format.h"

namespace sirrel::test {
namespace {

class Controls : public HeadlessUi {
protected:
    Controls()
    {
        EXPECT_TRUE(frame.CreateFrame(nullptr, 0, 0, 400, 300, "Controls", true));
        frame.ShowCommand(kShowShow);
    }
    uint32_t Handle() const { return frame.NativeHandle(); }
    void Click(const Oru_Window &control, int32_t x, int32_t y)
    {
        display->Click(Handle(), control.OffsetX() + x, control.OffsetY() + y);
        PumpMessages();
    }
    void Type(const std::string &text)
    {
        display->TypeText(Handle(), text);
        PumpMessages();
    }
    void Key(uint32_t key)
    {
        display->PressKey(Handle(), key);
        PumpMessages();
    }
    static void Count(Oru_Window *, void *counter) { ++*static_cast<int *>(counter); }

    Oru_Frame frame;
    int changes = 0;
};

TEST_F(Controls, CheckBoxTogglesByUserWithCallbackAndByProgramWithout)
{
    Oru_CheckBox box;
    ASSERT_TRUE(box.CreateCheckBox(&frame, 10, 30, 120, 20, "Option"));
    box.SetClickCallback(&Count, &changes);
    Click(box, 5, 10);
    EXPECT_TRUE(box.Checked());
    Key(kKeySpace);
    EXPECT_FALSE(box.Checked());
    EXPECT_EQ(changes, 2);
    box.SetChecked(true);
    EXPECT_TRUE(box.Checked());
    EXPECT_EQ(changes, 2);
}

TEST_F(Controls, RadioGroupKeepsExactlyOneSelected)
{
    Oru_RadioGroup group;
    ASSERT_TRUE(group.CreateRadioGroup(&frame, 10, 30, 150, {"45.45", "50", "75", "100"}));
    group.SetClickCallback(&Count, &changes);
    EXPECT_EQ(group.Selected(), 0);
    Click(group, 20, 2 * Oru_RadioGroup::kRowHeight + 5);
    EXPECT_EQ(group.Selected(), 2);
    Key(kKeyDown);
    Key(kKeyDown);
    EXPECT_EQ(group.Selected(), 3) << "stays on the last option";
    EXPECT_EQ(changes, 2);
    group.Select(-7);
    EXPECT_EQ(group.Selected(), 0);
    group.Select(99);
    EXPECT_EQ(group.Selected(), 3);
    EXPECT_EQ(changes, 2);

    Oru_RadioGroup empty;
    ASSERT_TRUE(empty.CreateRadioGroup(&frame, 200, 30, 50, {}));
    empty.Select(0);
    EXPECT_EQ(empty.Selected(), -1);
}

TEST_F(Controls, EditFieldTypesEditsAndLimitsLength)
{
    Oru_EditField edit;
    ASSERT_TRUE(edit.CreateEdit(&frame, 10, 30, 200, 22, ""));
    edit.SetClickCallback(&Count, &changes);
    Click(edit, 5, 5);
    ASSERT_TRUE(edit.Focused());
    Type("SITOR");
    Key(kKeyLeft);
    Key(kKeyBack);
    Type("x");
    EXPECT_EQ(edit.Text(), "SITxR");
    Key(kKeyHome);
    Key(kKeyDelete);
    EXPECT_EQ(edit.Text(), "ITxR");
    EXPECT_EQ(changes, 8);

    // Every byte but control characters is text; the field stays one line.
    std::string bytes;
    for (int c = 1; c < 256; ++c)
        bytes += char(c);
    edit.SetText(bytes);
    EXPECT_EQ(edit.Text().find('\n'), std::string::npos);
    edit.SetText("");
    Type(std::string("\x80\xff\x7f\t", 4));
    EXPECT_EQ(edit.Text(), "\x80\xff");

    edit.SetMaxLength(4);
    Type("abcdef");
    EXPECT_EQ(edit.Text(), "\x80\xff"
                           "ab");
}

TEST_F(Controls, ClipboardCarriesTextBetweenFields)
{
    Oru_EditField source, target;
    ASSERT_TRUE(source.CreateEdit(&frame, 10, 30, 200, 22, "FSK 170 Hz"));
    ASSERT_TRUE(target.CreateEdit(&frame, 10, 60, 200, 22, "<>"));
    source.SetFocus();
    source.Select(4, 7);
    Type("\x03"); // copy
    EXPECT_EQ(display->ClipboardText(), "170");
    Type("\x18"); // cut
    EXPECT_EQ(source.Text(), "FSK  Hz");

    target.SetFocus();
    target.Select(1, 1);
    Type("\x16"); // paste
    EXPECT_EQ(target.Text(), "<170>");

    // A pasted text keeps its first line.
    display->SetClipboardText("one\ntwo");
    Type("\x01\x16");
    EXPECT_EQ(target.Text(), "one");

    // The clipboard is UTF-8, a field Latin-1.
    target.SetText("caf\xE9");
    Type("\x01\x03");
    EXPECT_EQ(display->ClipboardText(), "caf\u00E9");
    display->SetClipboardText("\u00E9\u0410");
    Type("\x01\x16");
    EXPECT_EQ(target.Text(), "\xE9?");
}

TEST_F(Controls, NumericFieldClampsAndFormats)
{
    Oru_NumericField number, integer, frequency;
    ASSERT_TRUE(number.CreateNumeric(&frame, 10, 30, 120, 22, Oru_NumericField::Kind::Plain));
    ASSERT_TRUE(integer.CreateNumeric(&frame, 10, 60, 120, 22, Oru_NumericField::Kind::Integer));
    ASSERT_TRUE(frequency.CreateNumeric(&frame, 10, 90, 120, 22, Oru_NumericField::Kind::Frequency));
    number.SetSeparator('.');
    number.SetLimits(-10, 100);
    number.SetDecimals(1);
    number.SetClickCallback(&Count, &changes);
    struct Case {
        double in;
        double value;
        const char *text;
    };
    for (const Case &c : {Case{50.25, 50.25, "50.2"}, Case{250, 100, "100.0"}, Case{-11, -10, "-10.0"},
                          Case{1e300, 100, "100.0"}, Case{-1e300, -10, "-10.0"}}) {
        number.SetValue(c.in);
        EXPECT_EQ(number.Value(), c.value) << c.in;
        EXPECT_EQ(number.Text(), c.text) << c.in;
    }
    EXPECT_EQ(changes, 0) << "values set by program call nothing back";

    // Typed values are taken on return and brought to the limits; text without a number changes nothing.
    number.SetFocus();
    Type("\x01"
         "1234");
    Key(kKeyReturn);
    EXPECT_EQ(number.Value(), 100);
    EXPECT_EQ(number.Text(), "100.0");
    Type("\x01"
         "abc");
    Key(kKeyReturn);
    EXPECT_EQ(number.Value(), 100);
    EXPECT_EQ(number.Text(), "100.0");
    Type("\x01"
         "7.5");
    Key(kKeyTab); // losing the focus takes the value too
    EXPECT_EQ(number.Value(), 7.5);
    EXPECT_EQ(changes, 2);

    integer.SetLimits(0, 1000);
    integer.SetValue(42.9);
    EXPECT_EQ(integer.Value(), 42);
    EXPECT_EQ(integer.Text(), "42");

    frequency.SetSeparator(',');
    frequency.SetDecimals(3);
    frequency.SetValue(7041000);
    EXPECT_EQ(frequency.Text(), "7,041MHz");
    frequency.SetFocus();
    Type("\x01"
         "1,5kHz");
    Key(kKeyReturn);
    EXPECT_EQ(frequency.Value(), 1500);

    // The largest values survive being shown and read back.
    for (double huge : {1e300, -1e300, 1.5e20}) {
        frequency.SetValue(huge);
        Key(kKeyReturn);
        EXPECT_DOUBLE_EQ(frequency.Value(), huge);
    }
}

TEST(TextFormat, FrequencyAndTimeRoutines)
{
    struct Case {
        std::string got;
        const char *want;
    };
    for (const Case &c : {
             Case{FormatFrequency(7040600, 3, '.'), "7.041MHz"},
             Case{FormatFrequency(999, 1, '.'), "999.0Hz"},
             Case{FormatFrequency(1000, 0, '.'), "1kHz"},
             Case{FormatFrequency(14.0745e9, 2, ','), "14,07GHz"},
             Case{FormatFrequency(2e12, 1, '.'), "2.0THz"},
             Case{FormatFrequency(-1500, 2, '.'), "-1.50kHz"},
             Case{FormatFrequency(0, 2, '.'), "0.00Hz"},
             Case{FormatFrequencySignificant(7040500, '.'), "7.0405MHz"},
             Case{FormatFrequencySignificant(170, ','), "170Hz"},
             Case{FormatFrequencySignificant(123456789, '.'), "123.46MHz"},
             Case{FormatTime(0.02, '.'), "20ms"},
             Case{FormatTime(1.5, ','), "1,5s"},
             Case{FormatTime(3.3333e-6, '.'), "3.33us"},
             Case{FormatTime(4e-10, '.'), "0.4ns"},
             Case{FormatFixed(2.5, 40, '.'), "2.500000000000000"},
         })
        EXPECT_EQ(c.got, c.want);

    double value = 0;
    EXPECT_TRUE(ParseNumber("7,041MHz", ',', value));
    EXPECT_DOUBLE_EQ(value, 7041000);
    EXPECT_TRUE(ParseNumber("20ms", '.', value));
    EXPECT_DOUBLE_EQ(value, 0.02);
    EXPECT_TRUE(ParseNumber(FormatFrequencySignificant(1.5e20, ','), ',', value));
    EXPECT_DOUBLE_EQ(value, 1.5e20);
    EXPECT_TRUE(ParseNumber(FormatTime(2.5e-15, '.'), '.', value));
    EXPECT_DOUBLE_EQ(value, 2.5e-15);
    EXPECT_FALSE(ParseNumber("MHz", '.', value));
    EXPECT_FALSE(ParseNumber("", '.', value));
}

} // namespace
} // namespace sirrel::test
