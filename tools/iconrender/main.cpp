// Renders an SVG icon to the PNG sizes of an icon theme:
//   orbidex_iconrender <icon.svg> <theme-dir> <name> <size>...
// writes <theme-dir>/<size>x<size>/apps/<name>.png for each size.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv)
{
    // Rendering needs no display; the build may run where there is none.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s <icon.svg> <theme-dir> <name> <size>...\n", argv[0]);
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "%s: not a readable SVG file\n", argv[1]);
        return 1;
    }
    const QDir theme(QString::fromLocal8Bit(argv[2]));
    const QString name = QString::fromLocal8Bit(argv[3]);
    for (int i = 4; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "%s: not an icon size\n", argv[i]);
            return 2;
        }
        const QString dir = QStringLiteral("%1x%1/apps").arg(size);
        if (!theme.mkpath(dir)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(theme.filePath(dir)));
            return 1;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        svg.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        const QString out = theme.filePath(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
        if (!image.save(out, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
            return 1;
        }
    }
    return 0;
}
