// The dialog's commands at real sizes, offscreen, with a 252,768-pair
// dictionary: a session of paste, Replace in both modes and copy-out with its
// peak memory, the Replace command step by step, paste, copy-out, a key in a
// 19,000,000-unit text, the end of a text that is one long line; and the
// list's refresh, sort and a Register with 300,000 pairs.
//
// VELMORA_TEXT_UNITS=10000000,50000000 runs the text's benchmarks at those
// sizes instead of their own.
#include "BenchData.h"
#include "CReplaceDlg.h"
#include "MainDialogTemplate.h"
#include "Prompter.h"
#include "TextArea.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QRadioButton>
#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

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

// A text as the window gets it: generated lines of many lengths, or the real
// Japanese text of bench/real_data.sh when VELMORA_REAL_DATA names its folder
// (its first 10 MB, or as many bytes as units are asked for if more).
QString WindowText(size_t units, const std::vector<BenchPair>& dictionary)
{
    const QString real = qEnvironmentVariable("VELMORA_REAL_DATA");
    if (real.isEmpty())
        return ToQString(MakeLinedText(dictionary, units));
    QFile file(real + QStringLiteral("/ja.text.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.read(qint64(std::max<size_t>(units, 10000000)));
    bytes.truncate(bytes.lastIndexOf('\n') + 1);
    return QString::fromUtf8(bytes);
}

// The pairs for the window: 252,768 generated ones, or the real dictionary.
std::vector<BenchPair> WindowDictionary()
{
    const QString real = qEnvironmentVariable("VELMORA_REAL_DATA");
    if (real.isEmpty())
        return MakeDictionary(252768);
    std::vector<BenchPair> pairs;
    QFile file(real + QStringLiteral("/ja.dict.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        return pairs;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (tab > 0)
            pairs.push_back({QString::fromUtf8(line.left(tab)).toStdU16String(),
                             QString::fromUtf8(line.mid(tab + 1)).toStdU16String()});
    }
    return pairs;
}

struct WindowFixture {
    QTemporaryDir dir;
    YesPrompter prompter;
    std::unique_ptr<CReplaceDlg> dialog;

    WindowFixture()
    {
        dialog = std::make_unique<CReplaceDlg>(dir.filePath(QStringLiteral("velmora.ini")), &prompter);
        dialog->show();
        for (const BenchPair& p : WindowDictionary())
            dialog->m_replacer.AddPair(p.before.c_str(), p.after.c_str());
        dialog->RefreshList();
        QApplication::processEvents();
    }
    TextArea& Area() { return *dialog->TextEdit(); }
};

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

void SendKey(QWidget* to, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(to, &release);
}

// Replace, step by step as the command runs them; "write" includes the first
// layout and paint.
void BM_ReplaceSteps(benchmark::State& state)
{
    WindowFixture f;
    CReplaceDlg& dlg = *f.dialog;
    const QString input = WindowText(size_t(state.range(0)), MakeDictionary(252768));
    double scan = 0, build = 0, write = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.Area().SetText(input);
        QApplication::processEvents();
        state.ResumeTiming();

        const auto t0 = Clock::now();
        const std::u16string_view units = f.Area().Units();
        dlg.m_replacer.Scan(units);
        const auto t1 = Clock::now();
        std::u16string output = dlg.m_replacer.BuildReplaced(units);
        const auto t2 = Clock::now();
        f.Area().clear();
        InsertUnicodeText(f.Area(), std::move(output));
        QApplication::processEvents();
        const auto t3 = Clock::now();
        scan += Ms(t0, t1);
        build += Ms(t1, t2);
        write += Ms(t2, t3);
    }
    const double n = double(state.iterations());
    state.counters["scan_ms"] = scan / n;
    state.counters["build_ms"] = build / n;
    state.counters["write_ms"] = write / n;
    state.SetBytesProcessed(int64_t(state.iterations() * input.size() * 2));
}

// The whole command through its button.
void BM_ReplaceButton(benchmark::State& state)
{
    WindowFixture f;
    const QString input = WindowText(size_t(state.range(0)), MakeDictionary(252768));
    auto* button = static_cast<QPushButton*>(f.dialog->GetDlgItem(IDC_REPLACE));
    for (auto _ : state) {
        state.PauseTiming();
        f.Area().SetText(input);
        QApplication::processEvents();
        state.ResumeTiming();
        button->click();
        QApplication::processEvents();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * input.size() * 2));
}

// Ctrl+V of a text on the clipboard into the empty text area, until it is
// shown. The clipboard is this process's own: what an X transfer adds is
// measured by bench/window_session.py.
void BM_Paste(benchmark::State& state)
{
    WindowFixture f;
    const QString input = WindowText(size_t(state.range(0)), MakeDictionary(252768));
    f.Area().setFocus();
    for (auto _ : state) {
        state.PauseTiming();
        f.Area().clear();
        QGuiApplication::clipboard()->setText(input);
        QApplication::processEvents();
        state.ResumeTiming();
        SendKey(&f.Area(), Qt::Key_V, Qt::ControlModifier);
        QApplication::processEvents();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * input.size() * 2));
}

// Ctrl+A, Ctrl+C on a text of the given size, then the bytes another
// program's request is served from.
void BM_CopyOut(benchmark::State& state)
{
    WindowFixture f;
    f.Area().SetText(WindowText(size_t(state.range(0)), MakeDictionary(252768)));
    f.Area().setFocus();
    double serve = 0;
    for (auto _ : state) {
        SendKey(&f.Area(), Qt::Key_A, Qt::ControlModifier);
        SendKey(&f.Area(), Qt::Key_C, Qt::ControlModifier);
        QApplication::processEvents();
        state.PauseTiming();
        const auto t0 = Clock::now();
        const QByteArray bytes = QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/plain"));
        serve += Ms(t0, Clock::now());
        benchmark::DoNotOptimize(bytes.size());
        state.ResumeTiming();
    }
    state.counters["serve_ms"] = serve / double(state.iterations());
    state.SetBytesProcessed(int64_t(state.iterations()) * f.Area().Length() * 2);
}

// One key in a large text, until it is shown: a character typed in the
// middle, or a page down.
void BM_Key(benchmark::State& state)
{
    WindowFixture f;
    f.Area().SetText(WindowText(size_t(state.range(0)), MakeDictionary(252768)));
    f.Area().setFocus();
    f.Area().SetPosition(f.Area().Length() / 2);
    QApplication::processEvents();
    const bool page = state.range(1) != 0;
    for (auto _ : state) {
        if (page)
            SendKey(&f.Area(), Qt::Key_PageDown);
        else
            SendKey(&f.Area(), Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::processEvents();
    }
}

// The end of a text that is one line of words, until it is shown: every
// piece of the line before it is laid out once to find where its rows
// start. Then a key typed there, until it is shown.
void BM_LongLineEnd(benchmark::State& state)
{
    WindowFixture f;
    std::u16string line = MakeText(MakeDictionary(252768), size_t(state.range(0)));
    std::replace(line.begin(), line.end(), u'\n', u' ');
    const QString text = ToQString(line);
    f.Area().setFocus();
    double key = 0;
    for (auto _ : state) {
        state.PauseTiming();
        f.Area().SetText(text);
        QApplication::processEvents();
        state.ResumeTiming();
        SendKey(&f.Area(), Qt::Key_End, Qt::ControlModifier);
        QApplication::processEvents();
        state.PauseTiming();
        const auto t0 = Clock::now();
        SendKey(&f.Area(), Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::processEvents();
        key += Ms(t0, Clock::now());
        state.ResumeTiming();
    }
    state.counters["key_ms"] = key / double(state.iterations());
}

// Paste, Replace in both modes and a copy-out, as a user does them, with the
// peak resident memory of the process (run it alone for that figure).
void BM_Session(benchmark::State& state)
{
    WindowFixture f;
    const QString input = WindowText(size_t(state.range(0)), MakeDictionary(252768));
    auto* button = static_cast<QPushButton*>(f.dialog->GetDlgItem(IDC_REPLACE));
    f.Area().setFocus();
    double paste = 0, replace = 0, gloss = 0, copy = 0;
    for (auto _ : state) {
        f.Area().clear();
        QGuiApplication::clipboard()->setText(input);
        QApplication::processEvents();
        const auto t0 = Clock::now();
        SendKey(&f.Area(), Qt::Key_V, Qt::ControlModifier);
        QApplication::processEvents();
        const auto t1 = Clock::now();
        f.dialog->ModeRadio()->setChecked(true);
        button->click();
        QApplication::processEvents();
        const auto t2 = Clock::now();
        SendKey(&f.Area(), Qt::Key_A, Qt::ControlModifier);
        SendKey(&f.Area(), Qt::Key_C, Qt::ControlModifier);
        QApplication::processEvents();
        const auto t3 = Clock::now();
        f.Area().SetText(input);
        static_cast<QRadioButton*>(f.dialog->GetDlgItem(IDC_MODE_GLOSS))->setChecked(true);
        QApplication::processEvents();
        const auto t4 = Clock::now();
        button->click();
        QApplication::processEvents();
        const auto t5 = Clock::now();
        paste += Ms(t0, t1);
        replace += Ms(t1, t2);
        copy += Ms(t2, t3);
        gloss += Ms(t4, t5);
    }
    const double n = double(state.iterations());
    state.counters["paste_ms"] = paste / n;
    state.counters["replace_ms"] = replace / n;
    state.counters["copy_ms"] = copy / n;
    state.counters["gloss_ms"] = gloss / n;
    state.counters["units_in"] = double(input.size());
    state.counters["units_out"] = double(f.Area().Length());
    state.counters["peak_rss_mb"] = double(PeakRssBytes()) / 1e6;
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
        dlg.BeforeCombo()->setEditText(QStringLiteral("登録%1").arg(n++));
        dlg.AfterCombo()->setEditText(QStringLiteral("value"));
        state.ResumeTiming();
        button->click();
        QApplication::processEvents();
    }
}

} // namespace

// The text sizes of a benchmark: its own, or those VELMORA_TEXT_UNITS lists.
std::vector<int64_t> TextUnits(std::vector<int64_t> own)
{
    const char* listed = std::getenv("VELMORA_TEXT_UNITS");
    if (!listed || !*listed)
        return own;
    std::vector<int64_t> units;
    for (const QByteArray& size : QByteArray(listed).split(','))
        units.push_back(size.trimmed().toLongLong());
    return units;
}

template <int64_t... Own>
void Sizes(benchmark::internal::Benchmark* b)
{
    for (int64_t units : TextUnits({Own...}))
        b->Arg(units);
}

void KeySizes(benchmark::internal::Benchmark* b)
{
    for (int64_t units : TextUnits({19000000}))
        b->Args({units, 0})->Args({units, 1});
}

BENCHMARK(BM_Session)->Apply(Sizes<10000000>)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReplaceSteps)->Apply(Sizes<1000000, 10000000>)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReplaceButton)->Apply(Sizes<1000000, 10000000>)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Paste)->Apply(Sizes<10000000>)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CopyOut)->Apply(Sizes<19000000>)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Key)->Apply(KeySizes)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_LongLineEnd)->Apply(Sizes<10000000>)->Unit(benchmark::kMillisecond)->Iterations(3);
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
