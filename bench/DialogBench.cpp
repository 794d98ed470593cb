// The dialog's commands at real sizes, offscreen: the Replace command step by
// step on texts of 1,000,000 and 10,000,000 characters with a 200,000-pair
// dictionary, and the list's refresh, sort and a Register with 300,000 pairs.
#include "BenchData.h"
#include "CReplaceDlg.h"
#include "MainDialogTemplate.h"
#include "Prompter.h"
#include "TextArea.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

class YesPrompter : public Prompter {
public:
    bool AskYesNo(QWidget*, const QString&, const QString&) override { return true; }
    void ShowMessage(QWidget*, const QString&, const QString&, Icon) override {}
    QString AskSaveFileName(QWidget*) override { return {}; }
    void BeginWait() override {}
    void EndWait() override {}
};

QString ToQString(const std::u16string& s)
{
    return QString::fromUtf16(s.data(), qsizetype(s.size()));
}

struct Fixture {
    QTemporaryDir dir;
    YesPrompter prompter;
    std::unique_ptr<CReplaceDlg> dialog;

    explicit Fixture(size_t pairs)
    {
        dialog = std::make_unique<CReplaceDlg>(dir.filePath(QStringLiteral("velmora.ini")), &prompter);
        dialog->show();
        for (const BenchPair& p : MakeDictionary(pairs))
            dialog->m_replacer.AddPair(p.before.c_str(), p.after.c_str());
        dialog->RefreshList();
        QApplication::processEvents();
    }
};

// Replace, step by step as the command runs them.
void BM_ReplaceSteps(benchmark::State& state)
{
    Fixture f(200000);
    CReplaceDlg& dlg = *f.dialog;
    const std::vector<BenchPair> dictionary = MakeDictionary(200000);
    const QString input = ToQString(MakeText(dictionary, size_t(state.range(0))));
    double read = 0, scan = 0, build = 0, write = 0;
    using Clock = std::chrono::steady_clock;
    auto ms = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };
    for (auto _ : state) {
        state.PauseTiming();
        dlg.m_textEdit->setPlainText(input);
        QApplication::processEvents();
        state.ResumeTiming();

        const auto t0 = Clock::now();
        const QString text = dlg.m_textEdit->ReadText();
        const std::u16string_view units(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size()));
        const auto t1 = Clock::now();
        dlg.m_replacer.Scan(units);
        const auto t2 = Clock::now();
        dlg.m_textEdit->clear();
        const std::u16string output = dlg.m_replacer.BuildReplaced(units);
        const auto t3 = Clock::now();
        InsertUnicodeText(*dlg.m_textEdit, ToQString(output));
        QApplication::processEvents(); // the first layout and paint
        const auto t4 = Clock::now();
        read += ms(t0, t1);
        scan += ms(t1, t2);
        build += ms(t2, t3);
        write += ms(t3, t4);
    }
    const double n = double(state.iterations());
    state.counters["read_ms"] = read / n;
    state.counters["scan_ms"] = scan / n;
    state.counters["build_ms"] = build / n;
    state.counters["write_ms"] = write / n;
    state.SetBytesProcessed(int64_t(state.iterations() * input.size() * 2));
}

// The whole command through its button.
void BM_ReplaceButton(benchmark::State& state)
{
    Fixture f(200000);
    CReplaceDlg& dlg = *f.dialog;
    const QString input = ToQString(MakeText(MakeDictionary(200000), size_t(state.range(0))));
    auto* button = static_cast<QPushButton*>(dlg.GetDlgItem(IDC_REPLACE));
    for (auto _ : state) {
        state.PauseTiming();
        dlg.m_textEdit->setPlainText(input);
        QApplication::processEvents();
        state.ResumeTiming();
        button->click();
        QApplication::processEvents();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * input.size() * 2));
}

void BM_RefreshList(benchmark::State& state)
{
    Fixture f(size_t(state.range(0)));
    for (auto _ : state) {
        f.dialog->RefreshList();
        QApplication::processEvents();
    }
}

void BM_HeaderClickSort(benchmark::State& state)
{
    Fixture f(size_t(state.range(0)));
    int column = 0;
    for (auto _ : state) {
        column ^= 1; // alternate, so every click really reorders
        f.dialog->OnColumnClick(column);
        QApplication::processEvents();
    }
}

void BM_Register(benchmark::State& state)
{
    Fixture f(size_t(state.range(0)));
    CReplaceDlg& dlg = *f.dialog;
    auto* button = static_cast<QPushButton*>(dlg.GetDlgItem(IDC_REGISTER));
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        dlg.m_beforeCombo->setEditText(QStringLiteral("登録%1").arg(n++));
        dlg.m_afterCombo->setEditText(QStringLiteral("value"));
        state.ResumeTiming();
        button->click();
        QApplication::processEvents();
    }
}

} // namespace

BENCHMARK(BM_ReplaceSteps)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReplaceButton)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RefreshList)->Arg(300000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeaderClickSort)->Arg(300000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Register)->Arg(300000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
