// SPDX-License-Identifier: GPL-3.0-or-later
// An observer for a running Qt program, loaded into it with LD_PRELOAD and enabled by
// QUIVEL_OBSERVE_LOG=FILE. It writes one line per fact, times in milliseconds on the
// monotonic clock (the one a driver outside reads too):
//   start T                          the application object was made
//   input T TYPE OBJECT DETAIL       a key or mouse button from the window system
//   paint T PASS_MS WINDOW|CLASS|NAME|TEXT   a widget painted (NAME: object name, else
//                                    accessible name); T is the end of that pass,
//                                    when the frame has gone to the screen
//   preloop T MS                     what ran from the first event until the loop first
//                                    waited (start-up before the loop ran)
//   pass T MS CPU_MS                 an event-loop pass over 30 ms, started at T, and the
//                                    thread's CPU time in it (less than MS when the
//                                    machine's other work took the processor meanwhile)
//   hwm T KB                         peak resident memory (VmHWM) so far, when it grew
//   locate NAME X Y W H              where a widget named in QUIVEL_OBSERVE_LOCATE painted,
//                                    first and when moved (matched on object name, text or
//                                    tool tip)
// A pass runs from the first event after the loop woke (or from a nested processEvents)
// until the loop is about to wait again.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QInputEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QSet>
#include <QStatusBar>
#include <QTimer>
#include <QWidget>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

namespace {

double threadCpu()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

long peakKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

QByteArray oneLine(QString text)
{
    text.replace(u'\n', u' ');
    text.replace(u'|', u'/');
    return text.left(80).toUtf8();
}

class Observer : public QObject
{
public:
    explicit Observer(int fd)
        : m_fd(fd)
    {
        for (const QByteArray &name : qgetenv("QUIVEL_OBSERVE_LOCATE").split(';')) {
            if (!name.isEmpty())
                m_locate.insert(QString::fromUtf8(name));
        }
        write("start " + QByteArray::number(now(), 'f', 3));
        qApp->installEventFilter(this);
        m_memory.setInterval(200);
        connect(&m_memory, &QTimer::timeout, this, [this] { checkMemory(); });
        m_memory.start();
        hookDispatcher();
    }

    ~Observer() override
    {
        endPass(now());
        checkMemory();
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_hooked)
            hookDispatcher();
        const double t = now();
        if (m_passStart < 0) {
            m_passStart = t;
            m_passCpuStart = threadCpu();
        }
        switch (event->type()) {
        case QEvent::Paint:
            if (watched->isWidgetType())
                notePaint(static_cast<QWidget *>(watched));
            break;
        case QEvent::Move:
            if (watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow())
                windowMoved(static_cast<QWidget *>(watched));
            break;
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            if (event->spontaneous())
                noteInput(watched, static_cast<QInputEvent *>(event), t);
            break;
        default:
            break;
        }
        return false;
    }

private:
    void hookDispatcher()
    {
        QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
        if (!dispatcher)
            return;
        m_hooked = true;
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            endPass(now());
            m_looping = true;
        });
        // A nested processEvents that does not wait: the events before it were served.
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] {
            const double t = now();
            endPass(t);
            m_passStart = t;
            m_passCpuStart = threadCpu();
        });
    }

    void endPass(double t)
    {
        if (m_passStart >= 0) {
            const double ms = t - m_passStart;
            // What ran before the loop first waited is start-up, not a pass of the loop.
            if (!m_looping) {
                write("preloop " + QByteArray::number(m_passStart, 'f', 3) + ' ' +
                      QByteArray::number(ms, 'f', 1));
            } else if (ms > 30.0) {
                write("pass " + QByteArray::number(m_passStart, 'f', 3) + ' ' +
                      QByteArray::number(ms, 'f', 1) + ' ' +
                      QByteArray::number(threadCpu() - m_passCpuStart, 'f', 1));
                checkMemory();
            }
            for (const QByteArray &painted : std::as_const(m_painted))
                write("paint " + QByteArray::number(t, 'f', 3) + ' ' +
                      QByteArray::number(ms, 'f', 1) + ' ' + painted);
        }
        m_painted.clear();
        m_passStart = -1;
    }

    void notePaint(QWidget *widget)
    {
        QString text;
        if (auto *status = qobject_cast<QStatusBar *>(widget))
            text = status->currentMessage();
        else if (auto *label = qobject_cast<QLabel *>(widget))
            text = label->text();
        else
            text = widget->property("text").toString();
        // A widget without an object name is known by its accessible name.
        const QString name =
            widget->objectName().isEmpty() ? widget->accessibleName() : widget->objectName();
        m_painted.push_back(oneLine(widget->window()->windowTitle()) + '|' +
                            widget->metaObject()->className() + '|' + oneLine(name) + '|' +
                            oneLine(text));
        if (m_locate.isEmpty())
            return;
        for (const QString &key : {widget->objectName(), text, widget->toolTip()}) {
            if (!key.isEmpty() && m_locate.contains(key))
                locate(key, widget);
        }
    }

    // Logged first and again whenever it moved: a window manager may place a window after
    // its first paint, and a move paints nothing.
    void locate(const QString &key, QWidget *widget)
    {
        const QString id = key + u'@' + widget->window()->windowTitle();
        const QPoint at = widget->mapToGlobal(QPoint(0, 0));
        const QRect where(at, widget->size());
        m_locatedWidgets.insert(id, {key, widget});
        if (m_located.value(id) == where)
            return;
        m_located.insert(id, where);
        write("locate " + key.toUtf8().replace(' ', '_') + ' ' + QByteArray::number(at.x()) + ' ' +
              QByteArray::number(at.y()) + ' ' + QByteArray::number(widget->width()) + ' ' +
              QByteArray::number(widget->height()));
    }

    void windowMoved(QWidget *window)
    {
        for (const auto &[key, widget] : std::as_const(m_locatedWidgets)) {
            if (widget && widget->window() == window)
                locate(key, widget);
        }
    }

    void noteInput(QObject *watched, QInputEvent *event, double t)
    {
        // The same event climbs to the parents; the first receiver names it.
        const auto key = qMakePair(int(event->type()), event->timestamp());
        if (key == m_lastInput)
            return;
        m_lastInput = key;
        QByteArray detail;
        if (event->type() == QEvent::KeyPress)
            detail = QByteArray::number(static_cast<QKeyEvent *>(event)->key(), 16);
        const char *type = event->type() == QEvent::KeyPress           ? "key"
                           : event->type() == QEvent::MouseButtonPress ? "press"
                                                                       : "release";
        write("input " + QByteArray::number(t, 'f', 3) + ' ' + type + ' ' +
              (watched->objectName().isEmpty() ? QByteArray("-") : watched->objectName().toUtf8()) +
              ' ' + (detail.isEmpty() ? QByteArray("-") : detail));
    }

    void checkMemory()
    {
        const long kb = peakKb();
        if (kb > m_peakKb) {
            m_peakKb = kb;
            write("hwm " + QByteArray::number(now(), 'f', 3) + ' ' + QByteArray::number(kb));
        }
    }

    void write(QByteArray line)
    {
        line += '\n';
        // One write per line, so a reader outside sees whole lines as they come.
        [[maybe_unused]] const auto written = ::write(m_fd, line.constData(), size_t(line.size()));
    }

    int m_fd;
    bool m_hooked = false;
    bool m_looping = false;
    double m_passStart = -1;
    double m_passCpuStart = 0;
    std::vector<QByteArray> m_painted;
    QSet<QString> m_locate;
    QHash<QString, QRect> m_located;
    QHash<QString, std::pair<QString, QPointer<QWidget>>> m_locatedWidgets;
    QPair<int, quint64> m_lastInput{-1, 0};
    long m_peakKb = 0;
    QTimer m_memory;
};

Observer *g_observer = nullptr;

void install()
{
    const QByteArray path = qgetenv("QUIVEL_OBSERVE_LOG");
    if (path.isEmpty() || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    g_observer = new Observer(fd);
    qAddPostRoutine([] {
        delete g_observer;
        g_observer = nullptr;
    });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(install)
