#pragma once
// What a child window of the database program's main window tells the frame
// besides its widgets: the main actions it allows while maximized and its help
// topic. Both the windows and the frame's rules read these, so they sit below both.

#include <array>
#include <initializer_list>

namespace basekvintor {

// The five main actions a maximized child decides on, in menu order of the table.
enum class MainAction { AImportTest, AImportTip, ASelect, AGReportXL, AReportXl };
inline constexpr int kMainActionCount = 5;

class MainActionSet
{
public:
    constexpr MainActionSet() = default;
    constexpr MainActionSet(std::initializer_list<MainAction> on)
    {
        for (MainAction a : on)
            m_on[std::size_t(a)] = true;
    }
    static constexpr MainActionSet all()
    {
        return {MainAction::AImportTest, MainAction::AImportTip, MainAction::ASelect, MainAction::AGReportXL,
                MainAction::AReportXl};
    }
    constexpr bool contains(MainAction a) const { return m_on[std::size_t(a)]; }
    bool operator==(const MainActionSet &o) const { return m_on == o.m_on; }

private:
    std::array<bool, kMainActionCount> m_on{};
};

// What the child windows allow while maximized.
inline constexpr MainActionSet kTipActions{MainAction::AImportTip};
inline constexpr MainActionSet kTestActions{MainAction::AImportTest};
inline constexpr MainActionSet kArchivActions{MainAction::AGReportXL, MainAction::AReportXl};
inline constexpr MainActionSet kSQLActions{MainAction::ASelect};

// Help topics of the windows.
inline constexpr int kHelpTip = 4;
inline constexpr int kHelpTest = 5;
inline constexpr int kHelpArchiv = 6;
inline constexpr int kHelpSQL = 7;
inline constexpr int kHelpSQLShape = 9;

}  // namespace basekvintor
