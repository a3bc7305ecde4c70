#include "run/run_windows.h"

#include "setup/run_launch.h"

#include <QPushButton>

namespace kvintor {

RunWindows::RunWindows(StandLink &link, TDM &dm, TRegTable *regTable, std::function<bool()> transformerTr1)
    : Control(link, dm),
      Regul(Control),
      Param_p(Control, dm, &Regul),
      fPokas(Control, &Regul),
      FNumber(Control, &Regul),
      FCurrent(&Regul),
      Readings(Control, dm, &FCurrent),
      Curves(dm, Control, &Regul),
      m_link(link)
{
    Control.RegTable = regTable;
    Control.Param_p = &Param_p;
    Control.fPokas = &fPokas;
    Control.FNumber = &FNumber;
    Control.TransformerTr1 = std::move(transformerTr1);
    Param_p.Purge = [&link] { link.Comm1.Purge(); };
    link.SetReportSink(&Control);
    QObject::connect(Regul.BCurves, &QPushButton::clicked, &Curves, [this] {
        // The stand of the field the operator last used, else the first in use.
        int stand = Control.FocusedTag / 10;
        for (int s = 1; s <= 5 && !Control.StandInUse(stand); ++s)
            stand = s;
        Curves.Show(stand, Control.FocusedTag);
    });
}

RunWindows::~RunWindows()
{
    m_link.SetReportSink(nullptr);
}

void RunWindows::RunReady(const RunStart &run)
{
    Control.Begin(run);
}

void RunWindows::Attach(RunLauncher &launcher)
{
    launcher.onRunReady = [this](const RunStart &run) { RunReady(run); };
}

}  // namespace kvintor
