#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

// What the notice tells of a finished image.
struct FinishedImage
{
    QString path;
    int games = 0;
    qint64 bytes = 0;
};

// "12 games, 3.4 MiB of 32 MiB"
QString finishedImageSummary(const FinishedImage &image);

// Where a notice of size goes so that it covers no part of window: beside it
// (right, then left), else in the corner of screen farthest from it.
QPoint noticePlace(const QRect &window, const QSize &notice, const QRect &screen);

// A small window of its own, owned by the main window, that says a build's
// image is whole: not modal, shown without taking the focus from typing,
// closed by its button, by Escape or by itself after ten seconds. A box in it
// turns such notices off for good (kept in the settings).
class BuildNotice : public QWidget
{
    Q_OBJECT

public:
    // Whether the player still wants to see the notice.
    static bool wanted();

    // Shows the notice beside owner, unless the player turned it off.
    static void announce(QWidget *owner, const FinishedImage &image);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    BuildNotice(QWidget *owner, const FinishedImage &image);
};
