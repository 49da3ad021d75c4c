// The captured-SWF window's two repeated jobs: sending the whole captured list to the page
// (every path escaped), and describing a selected movie (a fresh parser reads its header).
#include <benchmark/benchmark.h>

#include "SwfWriter.h"
#include "TempDir.h"
#include "capture/CaptureRecords.h"
#include "foundation/RunLoop.h"
#include "foundation/objects/NSNotification.h"
#include "foundation/objects/NSString.h"
#include "host/HVXPlugIn.h"
#include "listwindow/HVXSWFListWindowController.h"

namespace {

// A page that takes the calls and keeps only how many arguments it saw.
class CountingPage : public WebPageBackend {
public:
    void Attach(Ref<WebScriptObject> /*bridge*/) override {}
    void Load(const std::string& /*url*/) override {}
    std::optional<std::string> CallFunction(const std::string& /*name*/,
                                            const std::vector<std::string>& args) override {
        arguments += args.size();
        return std::nullopt;
    }
    size_t arguments = 0;
};

// A controller with its browser view and information panel, but no window: the work measured
// never needs one.
Ref<HVXSWFListWindowController> WindowlessController() {
    RunLoop::Main();
    RegisterPlugInClasses();
    Ref<HVXSWFListWindowController> controller = MakeRef<HVXSWFListWindowController>();
    controller->swfWebview = MakeRef<SwfWebView>();
    controller->swfWebview->setBackend(std::make_unique<CountingPage>());
    controller->swfWebview->awakeFromNib();
    for (Ref<NSTextField>* field :
         {&controller->filename, &controller->moviesize, &controller->fileversion,
          &controller->framesize, &controller->framerate, &controller->framecount}) {
        *field = MakeRef<NSTextField>();
    }
    return controller;
}

void BM_SendList(benchmark::State& state) {
    Ref<HVXSWFListWindowController> controller = WindowlessController();
    m_downSWFPath = "/home/someone/Documents/SWFHarvexData";
    m_arraySWFUrl.clear();
    for (int64_t index = 0; index < state.range(0); ++index) {
        const std::string name = "caf\xC3\xA9 movie #" + std::to_string(index) + ".swf";
        m_arraySWFUrl.push_back({name, "http://example.test/" + std::to_string(index)});
    }
    for (auto _ : state) {
        controller->swfShow();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    m_arraySWFUrl.clear();
}
BENCHMARK(BM_SendList)->Arg(10)->Arg(1000)->Arg(10000);

void BM_DescribeSelection(benchmark::State& state) {
    Ref<HVXSWFListWindowController> controller = WindowlessController();
    static TempDir folder;
    SwfWriter writer;
    writer.FrameSizePixels(550, 400)
        .BackgroundColor(1, 2, 3)
        .Tag(1000, std::vector<uint8_t>(static_cast<size_t>(state.range(0)), 0x5A))
        .ShowFrame()
        .End();
    m_downSWFPath = folder.Path().string();
    SwfWriter::WriteFile(m_downSWFPath + "/movie.swf", writer.Cws());
    m_arraySWFUrl = {{"movie.swf", "http://example.test/movie.swf"}};
    Ref<NSNotification> selection =
        MakeRef<NSNotification>("SelectedSWFNum", Ref<NSObject>(NSString::stringWithString("0")));
    for (auto _ : state) {
        controller->setSWFInfo(selection.get());
    }
    benchmark::DoNotOptimize(controller->framesize->stringValue());
    m_arraySWFUrl.clear();
}
BENCHMARK(BM_DescribeSelection)->Arg(10 << 10)->Arg(1 << 20)->Arg(16 << 20);

} // namespace

BENCHMARK_MAIN();
