// The details list over 50,000 servers through the real view and model, on
// Qt's offscreen platform: fill, sort by a column, and sort back.
#include <QApplication>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTreeView>
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>

#include "core/CScoutwireDoc.h"
#include "core/CSettings.h"
#include "ui/CDetailsView.h"
#include "ui/CImageList.h"
#include "ui/CQtUserInterface.h"
#include "ui/IMainFrame.h"
#include "ui/SortedInsertion.h"
#include "ui/TreeItemData.h"

namespace {

constexpr int kServers = 50000;

class BenchFrame : public IMainFrame {
public:
    void CopyToClipboard(const std::string&) override {}
    void SetMessageText(const QString&) override {}
    bool HasStatusLine() const override { return true; }
    void SetStatusLine(const QString&) override {}
    void ActivateNextPane(QWidget*, bool) override {}
    void ActivateView(QWidget*) override {}
    void PostCommand(int) override {}
    CImageList& GetImageList() override { return m_images; }

private:
    CImageList m_images;
};

// Names, games and maps with the repeats a real master list has, so that
// many rows tie on every column but the address.
std::string Pick(std::mt19937& rng, std::initializer_list<const char*> words) {
    return *(words.begin() + rng() % words.size());
}

struct Setup {
    Setup() {
        settings = std::make_unique<CSettings>(dir.filePath("settings.ini").toStdString());
        doc = std::make_unique<CScoutwireDoc>(*settings, ui);
        std::mt19937 rng(50000);
        for (int i = 0; i < kServers; ++i) {
            ServerInfo* s =
                doc->AddFavourite(0x0A000000u + static_cast<uint32_t>(i) * 37u, 27015, false);
            s->m_dwFlags = GROUP_WON;
            s->m_strName = Pick(rng, {"[TAG] ", "{KoK} ", "", "", "=RTX= ", "|TFA| "}) +
                           Pick(rng, {"Noobs|Pros", "Dust2 only", "Public", "AWP*Heaven",
                                      "\xC5land Warriors", "Clan server", "24/7 Aztec"}) +
                           " #" + std::to_string(rng() % 3000);
            s->m_strGame = Pick(rng, {"cstrike", "cstrike", "valve", "tfc", "dod", "ns"});
            s->m_strMap = Pick(rng, {"de_dust2", "de_aztec", "cs_office", "crossfire", "2fort"});
            s->m_nPing = rng() % 5 == 0 ? 0 : 10 + rng() % 300;
            s->m_nMaxPlayers = static_cast<uint8_t>(8 + rng() % 25);
            s->m_nPlayers = static_cast<uint8_t>(rng() % (s->m_nMaxPlayers + 1u));
        }
        view = std::make_unique<CDetailsView>(*doc, frame);
        view->m_dwTreeModes = 0x1E;
        doc->AddView(view.get());
        view->OnInitialUpdate();
        view->resize(1000, 600);
        view->show();
        QCoreApplication::processEvents();
        report = view->findChild<QTreeView*>();
    }
    ~Setup() { doc->RemoveView(view.get()); }

    void ShowGroup(uint32_t mask) {
        view->OnTreeSelection(TreeItemData{ITEM_GROUP | mask, nullptr, 0});
        // The list lays the rows out and paints the visible ones.
        QCoreApplication::processEvents();
    }
    void ClickColumn(int column) {
        emit report->header()->sectionClicked(column);
        QCoreApplication::processEvents();
    }

    QTemporaryDir dir;
    CQtUserInterface ui;
    BenchFrame frame;
    std::unique_ptr<CSettings> settings;
    std::unique_ptr<CScoutwireDoc> doc;
    std::unique_ptr<CDetailsView> view;
    QTreeView* report = nullptr;
};

// Made on first use and destroyed before the application object.
std::unique_ptr<Setup> g_pSetup;

Setup& Shared() {
    if (!g_pSetup)
        g_pSetup = std::make_unique<Setup>();
    return *g_pSetup;
}

void BM_FillServerList(benchmark::State& state) {
    Setup& s = Shared();
    for (auto _ : state) {
        s.ShowGroup(GROUP_WON);
        benchmark::DoNotOptimize(s.report->model()->rowCount());
    }
    state.counters["rows"] = s.report->model()->rowCount();
}
BENCHMARK(BM_FillServerList)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One click on a column header: a new primary key, all rows re-inserted.
void BM_SortByColumn(benchmark::State& state) {
    Setup& s = Shared();
    s.ShowGroup(GROUP_WON);
    const int column = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        s.ClickColumn(column == 0 ? 5 : 0); // away from the column measured
        state.ResumeTiming();
        s.ClickColumn(column);
    }
}
BENCHMARK(BM_SortByColumn)->Arg(0)->Arg(5)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A second click on the same header: the same key reversed.
void BM_ReverseSort(benchmark::State& state) {
    Setup& s = Shared();
    s.ShowGroup(GROUP_WON);
    s.ClickColumn(5);
    for (auto _ : state)
        s.ClickColumn(5);
}
BENCHMARK(BM_ReverseSort)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A refresh of 15,000 servers as the shown list sees it: a details and a
// players notification per server, then the turn of the event loop that
// repaints what they touched.
void BM_ServerReplies(benchmark::State& state) {
    Setup& s = Shared();
    s.ShowGroup(GROUP_WON);
    std::vector<ServerInfo*> records;
    for (const auto& server : s.doc->GetServerList())
        if (records.size() < 15000)
            records.push_back(server.get());
    for (auto _ : state) {
        for (ServerInfo* record : records) {
            const CUpdateHint hint(record);
            s.doc->UpdateAllViews(nullptr, HINT_SERVER_DETAILS, &hint);
            s.doc->UpdateAllViews(nullptr, HINT_SERVER_PLAYERS, &hint);
        }
        QCoreApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(records.size()));
}
BENCHMARK(BM_ServerReplies)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// For comparison: the same 50,000 records inserted one by one into a flat
// array, which is what the sorted fill replaces.
void BM_OneByOneInsertion(benchmark::State& state) {
    Setup& s = Shared();
    std::vector<ServerInfo*> records;
    for (const auto& server : s.doc->GetServerList())
        records.push_back(server.get());
    for (auto _ : state) {
        ServerList list(2);
        for (ServerInfo* record : records)
            list.Insert(record);
        benchmark::DoNotOptimize(list.GetSize());
    }
}
BENCHMARK(BM_OneByOneInsertion)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_BlockedInsertion(benchmark::State& state) {
    Setup& s = Shared();
    std::vector<ServerInfo*> records;
    for (const auto& server : s.doc->GetServerList())
        records.push_back(server.get());
    for (auto _ : state) {
        ServerList list(2);
        InsertAllSorted(list, std::span<ServerInfo* const>(records));
        benchmark::DoNotOptimize(list.GetSize());
    }
}
BENCHMARK(BM_BlockedInsertion)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "qt.svg=false");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_pSetup.reset();
    return 0;
}
