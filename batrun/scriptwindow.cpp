#include "scriptwindow.h"

#include "ui_scriptwindow.h"

#include "cartridge.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTextBlock>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// The bar counts in these steps: the bytes themselves may not fit in an int.
constexpr int ProgressSteps = 1000;
// Often enough to look alive, rarely enough to cost the copy nothing.
constexpr int ProgressIntervalMs = 50;
// Red over any theme's base colour, light or dark.
const QColor FailureTint(255, 0, 0, 64);

QString inMebibytes(std::uint64_t bytes)
{
    return QString::fromStdString(mebibytes(bytes));
}

} // namespace

// Runs on the script's thread: it only stores, and the window's timer reads.
class ScriptWindow::Observer : public ScriptObserver
{
public:
    void planned(std::uint64_t totalBytes) override { total = totalBytes; }
    void lineStarted(int number, const std::string &text) override
    {
        lineStartedAt = done.load();
        const std::lock_guard lock(m_mutex);
        m_lines.emplace_back(number, text);
    }
    void joined(std::uint64_t bytesDone) override { done = bytesDone; }
    bool cancelled() const override { return stop; }

    std::vector<std::pair<int, std::string>> takeLines()
    {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_lines, {});
    }

    std::atomic<std::uint64_t> total = 0;
    std::atomic<std::uint64_t> done = 0;
    // Where the join stood when the last line started: what a failure leaves joined.
    std::atomic<std::uint64_t> lineStartedAt = 0;
    std::atomic<bool> stop = false;

private:
    std::mutex m_mutex;
    std::vector<std::pair<int, std::string>> m_lines;
};

ScriptWindow::ScriptWindow(QWidget *parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::ScriptWindow>()), m_observer(std::make_unique<Observer>())
{
    m_ui->setupUi(this);
    m_ui->progress->setMaximum(ProgressSteps);
    // Room for a line of the script, in the user's font size.
    const QFontMetrics metrics = fontMetrics();
    resize(metrics.averageCharWidth() * 100, metrics.height() * 20);

    m_progressTimer.setInterval(ProgressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &ScriptWindow::showProgress);
}

ScriptWindow::~ScriptWindow()
{
    if (m_worker.joinable()) {
        m_observer->stop = true;
        m_worker.join();
    }
}

void ScriptWindow::run(const std::string &scriptPath, int lockedFolder)
{
    const QFileInfo script(QFile::decodeName(scriptPath.c_str()));
    setWindowTitle(
            QStringLiteral("%1 \u2014 %2").arg(script.fileName(), QDir::toNativeSeparators(script.absolutePath())));
    m_ui->status->setText(tr("Running %1").arg(script.fileName()));
    showMinimized();
    m_progressTimer.start();
    m_worker = std::thread([this, scriptPath, lockedFolder] {
        setStopSignalsBlocked(false);
        m_result = runScript(scriptPath, *m_observer, lockedFolder);
        QMetaObject::invokeMethod(this, &ScriptWindow::finish, Qt::QueuedConnection);
    });
}

void ScriptWindow::showProgress()
{
    // A script of many games starts thousands of lines between two looks; they
    // reach the list in one go, and only once the window is seen, so that a
    // join nobody watches costs the window next to nothing.
    for (const auto &[number, text] : m_observer->takeLines()) {
        m_unshownLines << QString::fromLocal8Bit(text);
        m_lastLineNumber = number;
    }
    if (!m_unshownLines.isEmpty() && !isMinimized()) {
        // The view follows the new lines only while the user has not scrolled back.
        m_ui->lines->appendPlainText(m_unshownLines.join(QLatin1Char('\n')));
        m_unshownLines.clear();
    }
    const std::uint64_t total = m_observer->total;
    const std::uint64_t done = m_observer->done;
    if (total > 0 && !m_closeRequested) {
        m_ui->progress->setValue(int(std::min(done, total) * ProgressSteps / total));
        m_ui->status->setText(tr("Joined %1 of %2 MiB").arg(inMebibytes(done), inMebibytes(total)));
    }
}

void ScriptWindow::finish()
{
    m_worker.join();
    m_progressTimer.stop();
    m_finished = true;
    const ScriptOutput *largest = nullptr;
    for (const ScriptOutput &output : m_result.outputs) {
        if (!largest || output.size > largest->size)
            largest = &output;
    }
    const bool tooBig = largest && largest->size > CartridgeLimit;
    if (m_closeRequested || m_result.signal != 0 || (m_result.ok && !tooBig)) {
        if (m_result.ok)
            m_ui->progress->setValue(ProgressSteps);
        close();
    } else {
        comeForward();
        showProgress();
        if (m_result.ok) {
            const QString image = QFile::decodeName(largest->path.c_str());
            m_ui->status->setText(QString::fromStdString(tooBigForCartridge(image.toStdString(), largest->size)));
        } else {
            showFailure();
            // The failing line's bytes are not in any image.
            const std::uint64_t total = m_observer->total;
            if (total > 0)
                m_ui->progress->setValue(
                        int(std::min<std::uint64_t>(m_observer->lineStartedAt, total) * ProgressSteps / total));
        }
    }
    emit finished();
}

void ScriptWindow::showFailure()
{
    const QString reason = QString::fromLocal8Bit(m_result.reason);
    if (m_result.lineNumber > 0) {
        markFailingLine();
        QStringList kept;
        for (const std::string &name : m_result.keptFiles)
            kept << QDir::toNativeSeparators(QFile::decodeName(name.c_str()));
        QString outcome = tr("No image was made");
        if (kept.size() == 1)
            outcome = tr("The previous image %1 was left as it was").arg(kept.first());
        else if (kept.size() > 1)
            outcome = tr("The previous images %1 were left as they were").arg(kept.join(", "));
        m_ui->status->setText(tr("Line %1 failed: %2\n%3, and nothing incomplete was left behind.")
                                      .arg(QString::number(m_result.lineNumber), reason, outcome));
    } else {
        m_ui->status->setText(tr("The script could not be run: %1").arg(reason));
    }
}

// The failing line is the last one started, or, when it failed while the
// script was planned, one that never started: then it is added.
void ScriptWindow::markFailingLine()
{
    if (m_lastLineNumber != m_result.lineNumber)
        m_ui->lines->appendPlainText(QString::fromLocal8Bit(m_result.lineText));
    QTextCursor line(m_ui->lines->document()->lastBlock());
    line.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    line.mergeCharFormat(bold);
    line.clearSelection();
    // A tint over the whole width of the line, as an editor marks its current line.
    QTextEdit::ExtraSelection mark{line, {}};
    mark.format.setProperty(QTextFormat::FullWidthSelection, true);
    mark.format.setBackground(FailureTint);
    m_ui->lines->setExtraSelections({mark});
    m_ui->lines->setTextCursor(line);
    m_ui->lines->ensureCursorVisible();
}

void ScriptWindow::comeForward()
{
    showNormal();
    raise();
    activateWindow();
}

void ScriptWindow::closeEvent(QCloseEvent *event)
{
    if (m_finished) {
        event->accept();
        return;
    }
    m_closeRequested = true;
    m_observer->stop = true;
    m_ui->status->setText(tr("Stopping\u2026"));
    event->ignore();
}

void ScriptWindow::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (m_finished && (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter))
        close();
    else
        QWidget::keyPressEvent(event);
}

extern "C" int batrunWindowMain(const char *scriptPath, int lockedFolder)
{
    // Every thread but the script's is started with the stop signals blocked;
    // they are the window's again once the script has ended.
    setStopSignalsBlocked(true);
    int argc = 1;
    char name[] = "batrun";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    // The join belongs to the program that started it: its entry and icon (on Wayland the only link).
    QGuiApplication::setDesktopFileName(QStringLiteral(TVX_APP_ID));
    ScriptWindow window;
    // Where the window shows nothing, nobody could close it: batrun ends with the script.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        QObject::connect(&window, &ScriptWindow::finished, &app, &QCoreApplication::quit);
    QObject::connect(&window, &ScriptWindow::finished, [] { setStopSignalsBlocked(false); });
    window.run(scriptPath, lockedFolder);
    app.exec();
    // Said where the command line says it too, whoever reads that.
    if (window.exitStatus() != 0)
        std::fprintf(stderr, "%s\n", failureMessage(scriptPath, window.result()).c_str());
    if (window.stopSignal() != 0) {
        std::signal(window.stopSignal(), SIG_DFL);
        std::raise(window.stopSignal());
    }
    return window.exitStatus();
}
