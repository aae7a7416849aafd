#include "buildnotice.h"

#include "cartridge.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <array>

namespace {

const QString NoticeSetting = QStringLiteral("notice/showFinishedImage");
constexpr int ShownFor = 10000; // ms

} // namespace

QString finishedImageSummary(const FinishedImage &image)
{
    return QStringLiteral("%1 %2, %3 MiB of %4 MiB")
            .arg(image.games)
            .arg(image.games == 1 ? QStringLiteral("game") : QStringLiteral("games"),
                 QString::fromStdString(mebibytes(std::uint64_t(image.bytes))), QString::number(CartridgeLimit >> 20));
}

QPoint noticePlace(const QRect &window, const QSize &notice, const QRect &screen)
{
    constexpr int Gap = 8;
    const int top = std::clamp(window.top(), screen.top(), screen.bottom() - notice.height() + 1);
    for (const QPoint beside :
         {QPoint(window.right() + 1 + Gap, top), QPoint(window.left() - Gap - notice.width(), top)}) {
        if (screen.contains(QRect(beside, notice)))
            return beside;
    }
    // The corner whose place overlaps the window least: where the window is
    // as big as the screen, some overlap cannot be helped.
    const std::array corners = {screen.topLeft(), QPoint(screen.right() - notice.width() + 1, screen.top()),
                                QPoint(screen.left(), screen.bottom() - notice.height() + 1),
                                QPoint(screen.right() - notice.width() + 1, screen.bottom() - notice.height() + 1)};
    const auto overlap = [&](const QPoint &corner) {
        const QRect covered = QRect(corner, notice).intersected(window);
        return qint64(covered.width()) * covered.height();
    };
    return *std::min_element(corners.begin(), corners.end(),
                             [&](const QPoint &a, const QPoint &b) { return overlap(a) < overlap(b); });
}

bool BuildNotice::wanted()
{
    return QSettings().value(NoticeSetting, true).toBool();
}

void BuildNotice::announce(QWidget *owner, const FinishedImage &image)
{
    if (!wanted())
        return;
    auto *notice = new BuildNotice(owner, image);
    notice->adjustSize();
    const QScreen *screen = owner->screen();
    notice->move(noticePlace(owner->frameGeometry(), notice->frameSize(), screen->availableGeometry()));
    notice->show();
}

BuildNotice::BuildNotice(QWidget *owner, const FinishedImage &image) : QWidget(owner, Qt::Tool)
{
    setObjectName(QStringLiteral("frmBuildNotice"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Typing in the main window goes on while the notice is up.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Image made"));
    setAccessibleName(QStringLiteral("Image made"));

    const QString path = QDir::toNativeSeparators(QFileInfo(image.path).absoluteFilePath());
    auto *heading = new QLabel(QStringLiteral("<b>The image is made.</b>"), this);
    auto *where = new QLabel(path, this);
    where->setObjectName(QStringLiteral("lblImage"));
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    where->setWordWrap(true);
    auto *summary = new QLabel(finishedImageSummary(image), this);
    summary->setObjectName(QStringLiteral("lblSummary"));
    auto *openFolder = new QPushButton(QStringLiteral("&Open Folder"), this);
    openFolder->setObjectName(QStringLiteral("cmdOpenFolder"));
    openFolder->setAccessibleName(QStringLiteral("Open the image's folder"));
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    auto *doNotShow = new QCheckBox(QStringLiteral("&Do not show this again"), this);
    doNotShow->setObjectName(QStringLiteral("chkDoNotShow"));

    auto *layout = new QGridLayout(this);
    layout->addWidget(heading, 0, 0, 1, 2);
    layout->addWidget(where, 1, 0, 1, 2);
    layout->addWidget(summary, 2, 0, 1, 2);
    layout->addWidget(doNotShow, 3, 0, 1, 2);
    layout->addWidget(openFolder, 4, 0);
    layout->addWidget(close, 4, 1);
    setMaximumWidth(360);

    const QString folder = QFileInfo(path).absolutePath();
    connect(openFolder, &QPushButton::clicked, this,
            [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(doNotShow, &QCheckBox::toggled, this, [](bool hide) { QSettings().setValue(NoticeSetting, !hide); });
    QTimer::singleShot(ShownFor, this, &QWidget::close);
}

void BuildNotice::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}
