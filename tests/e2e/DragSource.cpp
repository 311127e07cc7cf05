// A drag source as a file manager is one: an ordinary window that takes the focus when pressed,
// and drags the files (and links) it was started with once the pointer moves with the button
// down. It tells the test what happens on standard output, one line each:
//   ready            the window is up
//   dragging         the drag has started
//   action <action>  the target under the pointer now answers with this action
//   result <action>  the drag is over: what the target did
// It takes one drag, and then stays until it is ended: the target of a drop reads the dragged
// data from the source after the drop. Arguments: paths, or URLs with a scheme.
#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include <cstdio>

namespace {

const char* actionName(Qt::DropAction action) {
    switch (action) {
        case Qt::CopyAction:
            return "copy";
        case Qt::MoveAction:
            return "move";
        case Qt::LinkAction:
            return "link";
        default:
            return "none";
    }
}

void say(const char* what, const char* detail = nullptr) {
    std::printf(detail ? "%s %s\n" : "%s\n", what, detail);
    std::fflush(stdout);
}

class DragSource : public QLabel {
public:
    explicit DragSource(QList<QUrl> urls)
        : QLabel(QStringLiteral("Drag me")), m_urls(std::move(urls)) {
        setAlignment(Qt::AlignCenter);
        setWindowTitle(QStringLiteral("Drag source"));
        resize(240, 160);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override { m_pressedAt = event->position(); }

    void mouseMoveEvent(QMouseEvent* event) override {
        if (m_dragged || !(event->buttons() & Qt::LeftButton) ||
            (event->position() - m_pressedAt).manhattanLength() <
                QApplication::startDragDistance()) {
            return;
        }
        m_dragged = true;
        auto* drag = new QDrag(this);
        auto* dragged = new QMimeData;
        dragged->setUrls(m_urls);
        drag->setMimeData(dragged);
        QObject::connect(drag, &QDrag::actionChanged,
                         [](Qt::DropAction action) { say("action", actionName(action)); });
        say("dragging");
        // What a file manager offers.
        const Qt::DropAction result =
            drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
        say("result", actionName(result));
    }

private:
    QList<QUrl> m_urls;
    QPointF m_pressedAt;
    bool m_dragged = false;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (const QString& argument : app.arguments().mid(1)) {
        urls << (argument.contains(QStringLiteral("://")) ? QUrl(argument)
                                                          : QUrl::fromLocalFile(argument));
    }
    DragSource window(urls);
    window.show();
    say("ready");
    return app.exec();
}
