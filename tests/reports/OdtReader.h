#pragma once
// Reads back an OpenDocument text file as a word processor shows it: its paragraphs in
// order, each with its text (white space as the format defines it), whether its text is
// bold, and the pictures it holds with their stated sizes; and its tables, cell by cell.
#include <QString>
#include <QStringList>
#include <vector>

namespace rv::test {

struct OdtPicture {
    QString width;  // as written, "300pt"
    QString height; // empty when not given
    QString target; // the picture's file inside the document
};

struct OdtParagraph {
    QString text;
    QString boldText; // the part of text written in bold
    std::vector<OdtPicture> pictures;
};

struct OdtTable {
    int headerRows = 0;            // the rows repeated on each page
    std::vector<QStringList> rows; // each cell's paragraphs joined by "\n"
};

struct OdtDocument {
    bool ok = false;
    QString problem;
    QStringList files; // every file inside the document
    // The paragraphs outside the tables; a table stands among them as the paragraph
    // "[table]".
    std::vector<OdtParagraph> paragraphs;
    std::vector<OdtTable> tables;
    // The paragraphs' texts, a picture shown as "[picture]" where it stands.
    QStringList texts() const;
    int pictureCount() const;
};

OdtDocument readOdt(const QString& path);

} // namespace rv::test
