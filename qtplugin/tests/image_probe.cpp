// A small Qt program that knows nothing of Pictor: it reads an image through Qt's image plugins,
// as any Qt program does, prints what it got and, with --show, shows it in a window. The
// install test and the timings use it to see the plugin from outside.
// Usage: image_probe [--scaled WxH] [--show SECONDS] FILE
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QRasterWindow>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

class ImageWindow final : public QRasterWindow {
public:
    explicit ImageWindow(QImage image) : m_image(std::move(image)) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(QRect(QPoint(), size()), Qt::darkGray);
        const QSize shown = m_image.size().scaled(size(), Qt::KeepAspectRatio);
        const QRect target(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2),
                           shown);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, m_image);
    }

private:
    QImage m_image;
};

} // namespace

int main(int argc, char** argv) {
    QSize scaled;
    int showSeconds = 0;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        const bool valued = i + 1 < argc;
        if (valued && std::strcmp(argv[i], "--scaled") == 0) {
            const QList<QByteArray> size = QByteArray(argv[++i]).split('x');
            if (size.size() == 2) scaled = QSize(size[0].toInt(), size[1].toInt());
        } else if (valued && std::strcmp(argv[i], "--show") == 0) {
            showSeconds = std::atoi(argv[++i]);
        } else {
            path = argv[i];
        }
    }
    if (!path) {
        std::fprintf(stderr, "usage: image_probe [--scaled WxH] [--show SECONDS] FILE\n");
        return 2;
    }
    // A window needs the application before anything else of Qt's.
    std::unique_ptr<QGuiApplication> application;
    if (showSeconds > 0) application = std::make_unique<QGuiApplication>(argc, argv);

    QImageReader reader(QString::fromLocal8Bit(path));
    if (scaled.isValid()) reader.setScaledSize(scaled);
    const QByteArray format = reader.format(); // before the read moves the device on
    const QImage image = reader.read();
    if (image.isNull()) {
        std::fprintf(stderr, "image_probe: %s: %s\n", path, qPrintable(reader.errorString()));
        return 1;
    }
    std::printf("%dx%d %s format %d\n", image.width(), image.height(), format.constData(),
                int{image.format()});
    if (!application) return 0;

    ImageWindow window(image);
    window.setTitle(QStringLiteral("%1 (%2 x %3, %4)")
                        .arg(QString::fromLocal8Bit(path))
                        .arg(image.width())
                        .arg(image.height())
                        .arg(QString::fromLatin1(format)));
    window.resize(800, 600);
    window.show();
    QTimer::singleShot(showSeconds * 1000, application.get(), &QGuiApplication::quit);
    return QGuiApplication::exec();
}
