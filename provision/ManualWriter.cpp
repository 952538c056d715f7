#include "provision/ManualWriter.h"
#include "provision/ManualSource.h"
#include <QAbstractTextDocumentLayout>
#include <QDirIterator>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>
#include <vector>

namespace rv {

namespace {

const QString kFallbackTitle = QStringLiteral("Rockvane Manual");

// Paper and the text area, in millimetres; the footer sits inside the bottom margin's
// reserve, below the text.
constexpr double kSideMarginMm = 20;
constexpr double kTopMarginMm = 18;
constexpr double kBottomMarginMm = 12;
constexpr double kFooterMm = 10;
constexpr int kResolution = 600;
constexpr double kBodyPointSize = 10.5;

double mmToDevice(double mm) {
    return mm / 25.4 * kResolution;
}
// Block and frame lengths are given in 96-per-inch pixels; the layout scales them.
double pointsToLayout(double points) {
    return points * 96.0 / 72.0;
}

struct Chapter {
    QString title;
    int page = 0; // 1-based, counted from the first chapter page
};

// The title page's text (before the first level-2 heading) and the chapters' text.
std::pair<QString, QString> splitAtFirstChapter(const QString& markdown) {
    static const QRegularExpression chapter(QStringLiteral("^## "),
                                            QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = chapter.match(markdown);
    if (!match.hasMatch()) return {markdown, QString()};
    return {markdown.left(match.capturedStart()), markdown.mid(match.capturedStart())};
}

QFont bodyFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(kBodyPointSize);
    return font;
}

void prepare(QTextDocument& doc, QPaintDevice& device, const QSizeF& pageSize) {
    doc.documentLayout()->setPaintDevice(&device);
    doc.setDefaultFont(bodyFont());
    doc.setDocumentMargin(0);
    doc.setPageSize(pageSize);
}

// Spacing of a manual rather than of a screen; every chapter on a new page. Headings
// keep the sizes the Markdown reader gives them relative to the body font.
void styleBlocks(QTextDocument& doc) {
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        const int level = format.headingLevel();
        if (level > 0) {
            format.setTopMargin(pointsToLayout(level <= 2 ? 0 : 10));
            format.setBottomMargin(pointsToLayout(level <= 2 ? 12 : 4));
            if (level == 2 && block != doc.begin())
                format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        } else if (format.nonBreakableLines()) {
            format.setLeftMargin(pointsToLayout(12)); // a code block, line by line
        } else if (!block.textList() && !QTextCursor(block).currentTable()) {
            format.setBottomMargin(pointsToLayout(6));
        }
        format.setLineHeight(115, QTextBlockFormat::ProportionalHeight);
        QTextCursor(block).setBlockFormat(format);
    }
}

// Thin grey rules around the cells, room inside them, a shaded heading row.
void styleTables(QTextDocument& doc) {
    for (QTextFrame* frame : doc.rootFrame()->childFrames()) {
        auto* table = qobject_cast<QTextTable*>(frame);
        if (!table) continue;
        QTextTableFormat format = table->format();
        format.setBorder(0.5);
        format.setBorderBrush(QColor(160, 160, 160));
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setCellPadding(pointsToLayout(3));
        format.setCellSpacing(0);
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        format.setTopMargin(pointsToLayout(2));
        format.setBottomMargin(pointsToLayout(10));
        format.setHeaderRowCount(1);
        table->setFormat(format);
        for (int column = 0; column < table->columns(); ++column) {
            QTextTableCell cell = table->cellAt(0, column);
            QTextCharFormat shaded = cell.format();
            shaded.setBackground(QColor(230, 230, 230));
            cell.setFormat(shaded);
        }
    }
}

// The pictures compiled in with the manual, under the names its text gives them
// ("pictures/import-window.png").
void addPictures(QTextDocument& doc) {
    QDirIterator it(QStringLiteral(":/manual/pictures"));
    while (it.hasNext()) {
        const QString path = it.next();
        const QImage picture(path);
        if (!picture.isNull())
            doc.addResource(QTextDocument::ImageResource,
                            QUrl(QStringLiteral("pictures/") + it.fileName()), picture);
    }
}

// Every level-2 heading with the page it begins on.
std::vector<Chapter> chaptersOf(QTextDocument& doc) {
    std::vector<Chapter> chapters;
    const double pageHeight = doc.pageSize().height();
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() != 2) continue;
        const double top = doc.documentLayout()->blockBoundingRect(block).top();
        chapters.push_back({block.text(), int(top / pageHeight) + 1});
    }
    return chapters;
}

// The title page: the source's opening, centred, pushed down the page, then the
// version and the contents.
void buildTitlePage(QTextDocument& doc, const QString& markdown,
                    const std::vector<Chapter>& chapters) {
    doc.setMarkdown(markdown);
    styleBlocks(doc);
    // Pushed a fifth of the way down by the frame's margin: the layout does not honour
    // a block's top margin at the top of a page.
    QTextFrameFormat frame = doc.rootFrame()->frameFormat();
    frame.setTopMargin(doc.pageSize().height() / kResolution * 96 * 0.2);
    doc.rootFrame()->setFrameFormat(frame);
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        QTextCursor cursor(block);
        QTextBlockFormat format = block.blockFormat();
        format.setAlignment(Qt::AlignHCenter);
        format.setBottomMargin(pointsToLayout(format.headingLevel() == 1 ? 24 : 8));
        cursor.setBlockFormat(format);
        QTextCharFormat larger;
        larger.setProperty(QTextFormat::FontSizeAdjustment, format.headingLevel() == 1 ? 4 : 1);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(larger);
    }

    QTextCursor cursor(&doc);
    cursor.movePosition(QTextCursor::End);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    centred.setTopMargin(pointsToLayout(18));
    QTextCharFormat plain;
    plain.setFontPointSize(12);
    cursor.insertBlock(centred, plain);
    cursor.insertText(QStringLiteral("Version ") + QString::fromUtf8(manual::kVersion));
    if (chapters.empty()) return;

    QTextBlockFormat heading = centred;
    heading.setTopMargin(pointsToLayout(60));
    heading.setBottomMargin(pointsToLayout(10));
    QTextCharFormat bold = plain;
    bold.setFontWeight(QFont::Bold);
    bold.setFontPointSize(14);
    cursor.insertBlock(heading, bold);
    cursor.insertText(QStringLiteral("Contents"));

    QTextTableFormat tableFormat;
    tableFormat.setAlignment(Qt::AlignHCenter);
    tableFormat.setBorder(0);
    tableFormat.setCellPadding(pointsToLayout(3));
    tableFormat.setCellSpacing(0);
    tableFormat.setWidth(QTextLength(QTextLength::PercentageLength, 70));
    tableFormat.setColumnWidthConstraints({QTextLength(QTextLength::PercentageLength, 85),
                                           QTextLength(QTextLength::PercentageLength, 15)});
    QTextTable* table = cursor.insertTable(int(chapters.size()), 2, tableFormat);
    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight);
    for (int row = 0; row < int(chapters.size()); ++row) {
        QTextCursor name = table->cellAt(row, 0).firstCursorPosition();
        name.insertText(chapters[row].title, plain);
        QTextCursor page = table->cellAt(row, 1).firstCursorPosition();
        page.setBlockFormat(right);
        page.insertText(QString::number(chapters[row].page), plain);
    }
}

QString titleOf(const QTextDocument& titlePage) {
    for (QTextBlock block = titlePage.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 1) return block.text().trimmed();
    }
    return kFallbackTitle;
}

// Draws the pages of doc from the painter's current page on; a new page is started
// before each. The footer names the manual and the page, unless title is empty.
bool drawPages(QPainter& painter, QPdfWriter& writer, QTextDocument& doc, bool newPageFirst,
               const QString& footerTitle) {
    const QSizeF page = doc.pageSize();
    const int pages = doc.pageCount();
    QFont footerFont = bodyFont();
    footerFont.setPointSizeF(8.5);
    for (int i = 0; i < pages; ++i) {
        if ((i > 0 || newPageFirst) && !writer.newPage()) return false;
        painter.save();
        painter.translate(0, -i * page.height());
        doc.drawContents(&painter, QRectF(0, i * page.height(), page.width(), page.height()));
        painter.restore();
        if (footerTitle.isEmpty()) continue;
        const double top = page.height() + mmToDevice(kFooterMm) * 0.35;
        const QRectF footer(0, top, page.width(), mmToDevice(kFooterMm) * 0.65);
        painter.setPen(QPen(QColor(150, 150, 150), mmToDevice(0.2)));
        painter.drawLine(QPointF(0, top), QPointF(page.width(), top));
        painter.setPen(Qt::black);
        painter.setFont(footerFont);
        painter.drawText(footer, Qt::AlignLeft | Qt::AlignVCenter, footerTitle);
        painter.drawText(footer, Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("Page %1 of %2").arg(i + 1).arg(pages));
    }
    return true;
}

} // namespace

QString manualMarkdown() {
    return QString::fromUtf8(manual::kMarkdown);
}

Status writeManual(const QString& pdfPath) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return Status::fail(err::InvalidArgument,
                            QStringLiteral("The manual can only be written by a program "
                                           "running a QGuiApplication"));
    QSaveFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly))
        return Status::fail(err::FileError, QStringLiteral("Could not write the manual to ") +
                                                pdfPath + QStringLiteral(": ") +
                                                file.errorString());

    QPdfWriter writer(&file);
    writer.setResolution(kResolution);
    writer.setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                    QMarginsF(kSideMarginMm, kTopMarginMm, kSideMarginMm, kBottomMarginMm),
                    QPageLayout::Millimeter));
    writer.setCreator(QStringLiteral("Brackwell's Rockvane ") +
                      QString::fromUtf8(manual::kVersion));

    const auto [opening, chaptersText] = splitAtFirstChapter(manualMarkdown());
    const QSizeF pageSize(writer.width(), writer.height() - mmToDevice(kFooterMm));

    QTextDocument body;
    prepare(body, writer, pageSize);
    body.setMarkdown(chaptersText);
    addPictures(body);
    styleBlocks(body);
    styleTables(body);

    QTextDocument titlePage;
    prepare(titlePage, writer, pageSize);
    buildTitlePage(titlePage, opening, chaptersOf(body));
    const QString title = titleOf(titlePage);
    writer.setTitle(title);

    QPainter painter;
    if (!painter.begin(&writer)) {
        file.cancelWriting();
        return Status::fail(err::FileError,
                            QStringLiteral("Could not start the manual in ") + pdfPath);
    }
    bool drawn = drawPages(painter, writer, titlePage, false, QString());
    if (drawn && !chaptersText.isEmpty()) drawn = drawPages(painter, writer, body, true, title);
    painter.end();
    if (!drawn) {
        file.cancelWriting();
        return Status::fail(err::FileError,
                            QStringLiteral("Could not add a page to the manual in ") + pdfPath);
    }
    if (!file.commit())
        return Status::fail(err::FileError, QStringLiteral("Could not write the manual to ") +
                                                pdfPath + QStringLiteral(": ") +
                                                file.errorString());
    return {};
}

} // namespace rv
