#include "Subs.h"

#include "ChartColumn.h"
#include "Globals.h"
#include "Initialisers.h"
#include "ModelRun.h"
#include "ParamFiles.h"

namespace {

// The window's drawing calls, as the run's observer.
class WindowCalls : public RunObserver {
  public:
    explicit WindowCalls(ModelWindow& window) : window_(window) {}

    void Run_Starts(const Model&) override {
        window_.Clear_Picture();
        PlotColumn = 0;
    }
    void Column(const RunSnapshot& now) override {
        try {
            window_.Graph_Populations(Nanimals);
        } catch (const LvError& e) {
            throw Chart_Failure(e, now.step, PlotColumn);
        }
    }

  private:
    ModelWindow& window_;
};

}  // namespace

void Run_Model(ModelWindow& window, const int16_t&, const int16_t& PlotInterval, const double&) {
    WindowCalls calls(window);
    const RunResult run = Run_Model(ProgramModel, {PlotInterval, std::nullopt}, ProgramRun,
                                    {.observers = {&calls}, .events = &window});
    LE = run.LE;
    window.Set_Info_Caption(Info_Caption(LE));
}

void Load_Dat_File(const std::string& path) {
    Load_Dat_File(path, ProgramModel, Random_Source());
}

void Load_P_File(const std::string& path) {
    Load_P_File(path, ProgramModel, SpacePos);
}

void Find_Spaces(const std::string& line) {
    Find_Spaces(line, SpacePos);
}

void Random_Colors(const int16_t& Nanimals) {
    Random_Colors(Species, Nanimals, Random_Source());
}

void Random_Populations(const int16_t& Nanimals) {
    Random_Populations(Species, Nanimals, Random_Source());
}
