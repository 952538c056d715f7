#include "readings/frmDatasheet.h"
#include "alarms/AlarmStore.h"
#include "core/Loads.h"
#include "core/NumberText.h"
#include "core/Values.h"
#include "readings/DatasheetRules.h"
#include "readings/ReadingsWork.h"
#include "reports/FlexGridToExcel.h"
#include "reports/frmReport.h"
#include "sensordata/SensorData.h"
#include "store/Module1.h"
#include "store/Session.h"
#include "ui/Pictures.h"
#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <cmath>
#include <optional>

namespace rv {

namespace {

const QString kFormLoad = QStringLiteral(" frmDatasheet.Form_Load");
const QString kKeyPress = QStringLiteral(" frmDatasheet.MSFlexGri1_KeyPress");
const QString kReadValues = QStringLiteral(" frmDatasheet.G_ReadValuesFromGrid");
const QString kExport = QStringLiteral(" frmDatasheet.Image1_Click");
// Room a workbook needs per grid row: both sheets and the writer's work files.
constexpr qint64 kWorkbookRowRoom = 256;

int twipsPerPixel() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return qMax(1, qRound(1440.0 / (dpi > 0 ? dpi : 96.0)));
}

// Draws a cell's plot mark centred in the cell, over the cell's usual background.
class MarkDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem cell(option);
        initStyleOption(&cell, index);
        const QPixmap mark = qvariant_cast<QPixmap>(index.data(Qt::DecorationRole));
        cell.features &= ~QStyleOptionViewItem::HasDecoration;
        cell.icon = QIcon();
        cell.text.clear();
        QStyle* style = cell.widget ? cell.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, cell.widget);
        if (!mark.isNull())
            painter->drawPixmap(QStyle::alignedRect(cell.direction, Qt::AlignCenter,
                                                    mark.deviceIndependentSize().toSize(),
                                                    cell.rect),
                                mark);
    }
};

} // namespace

frmDatasheet::frmDatasheet(Session& session, Progress& progress, QWidget* parent)
    : QDialog(parent), m_s(session), m_progress(progress) {
    setObjectName(QStringLiteral("frmDatasheet"));
    setWindowTitle(QStringLiteral("Rockvane DataSheet"));

    lblHeader = new QLabel(this);
    lblHeader->setObjectName(QStringLiteral("lblHeader"));
    QFont bold = lblHeader->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    lblHeader->setFont(bold);

    model = new DatasheetModel(m_s.rsReadings, this);
    MSFlexGrid1 = new QTableView(this);
    MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    MSFlexGrid1->setModel(model);
    MSFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MSFlexGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    MSFlexGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    MSFlexGrid1->setTabKeyNavigation(false);
    MSFlexGrid1->setWordWrap(false);
    MSFlexGrid1->setAlternatingRowColors(true);
    // One fixed row (the header), no fixed column; every row the same height, so that
    // 100,000 rows need no measuring.
    MSFlexGrid1->verticalHeader()->hide();
    MSFlexGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    MSFlexGrid1->verticalHeader()->setDefaultSectionSize(MSFlexGrid1->fontMetrics().height() + 6);
    MSFlexGrid1->horizontalHeader()->setSectionsClickable(false);
    MSFlexGrid1->horizontalHeader()->setHighlightSections(false);
    MSFlexGrid1->horizontalHeader()->setMinimumSectionSize(0);
    MSFlexGrid1->horizontalHeader()->setStretchLastSection(false);
    MSFlexGrid1->installEventFilter(this);

    Image1 = new PictureButton(QStringLiteral("Image1"), pictures::sheet(), this);
    Image1->setToolTip(QStringLiteral("Export the grid to a spreadsheet"));
    lblImage1 = new CaptionLabel(QStringLiteral("lblImage1"),
                                 QStringLiteral("Export to spreadsheet"), this);

    chkChanges = new QCheckBox(QStringLiteral("Add the sheet \"Changes\""), this);
    chkChanges->setObjectName(QStringLiteral("chkChanges"));
    chkChanges->setToolTip(QStringLiteral("A further sheet listing every recorded change to "
                                          "the sensor's readings and record, newest first"));

    keptFolder = new KeptFolderChoice(m_s, this);

    lblHint = new QLabel(datasheetHint(), this);
    lblHint->setObjectName(QStringLiteral("lblHint"));
    lblHint->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Image1);
    buttons->addWidget(lblImage1);
    buttons->addWidget(chkChanges);
    buttons->addSpacing(24);
    buttons->addWidget(keptFolder, 1);
    auto* page = new QVBoxLayout(this);
    page->addWidget(lblHeader);
    page->addWidget(MSFlexGrid1, 1);
    page->addWidget(lblHint);
    page->addLayout(buttons);
    resize(760, 540);

    connect(MSFlexGrid1, &QTableView::clicked, this, &frmDatasheet::MSFlexGrid1_Click);
    connect(MSFlexGrid1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!current.isValid()) return;
                m_onFixedRow = false;
                model->setCurrentHeader(-1);
            });
    connect(Image1, &PictureButton::clicked, this, &frmDatasheet::Image1_Click);
    connect(lblImage1, &CaptionLabel::clicked, this, &frmDatasheet::Image1_Click);
}

bool frmDatasheet::Form_Load() {
    return logged(m_s, kFormLoad, [&] {
        Recordset& rs = m_s.rsReadings;
        if (rs.isOpen()) {
            // Opened while the readings are open: the reading they stand on is remembered.
            if (const Result<qint64> b = rs.bookmark(); b.ok()) m_s.gReadingBookmark = b.value();
            rs.close();
        }
        m_gridChanged = false;
        m_sensor = displayText(need(m_s.currentSensor.value(QStringLiteral("InstrumentID"))));
        OpenSensorData(m_s);
        if (!rs.isOpen())
            throw Abort{Error{err::ObjectClosed, QStringLiteral("The readings of sensor ") +
                                                     m_sensor +
                                                     QStringLiteral(" could not be opened.")}};
        lblHeader->setText(QStringLiteral("Data for Sensor ") + m_sensor);
        // A database that keeps no history has no changes to add.
        const bool kept = hasChangeTables(m_s.gConnection);
        chkChanges->setEnabled(kept);
        if (!kept) {
            chkChanges->setChecked(false);
            chkChanges->setToolTip(QStringLiteral("This database keeps no record of changes."));
        }
        if (!PopulateFlexGrid())
            throw Abort{
                Error{err::ObjectClosed, QStringLiteral("The datasheet could not be filled.")}};
    });
}

bool frmDatasheet::PopulateFlexGrid() {
    if (!model->populate(m_sensor)) return false;
    applyColumnWidths();
    setCurrentCell(model->readingCount() > 0 ? 1 : 0, 0);
    return true;
}

int frmDatasheet::columnTwips(int column) const {
    if (model->readingCount() == 0) return 2600;
    return datasheetColumnTwips(column, model->lastColumn());
}

void frmDatasheet::applyColumnWidths() {
    const int tpp = twipsPerPixel();
    for (int c = 0; c < model->gridCols(); ++c)
        MSFlexGrid1->setColumnWidth(c, columnTwips(c) / tpp);
    if (model->readingCount() > 0)
        MSFlexGrid1->setItemDelegateForColumn(model->lastColumn(), new MarkDelegate(this));
}

int frmDatasheet::Row() const {
    if (m_onFixedRow) return 0;
    const QModelIndex current = MSFlexGrid1->currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

int frmDatasheet::Col() const {
    if (m_onFixedRow) return m_fixedCol;
    const QModelIndex current = MSFlexGrid1->currentIndex();
    return current.isValid() ? current.column() : 0;
}

void frmDatasheet::setCurrentCell(int row, int col) {
    if (row >= 1 && row <= model->readingCount() && col >= 0 && col < model->gridCols()) {
        const QModelIndex cell = model->index(row - 1, col);
        MSFlexGrid1->setCurrentIndex(cell);
        MSFlexGrid1->scrollTo(cell);
        m_onFixedRow = false;
        model->setCurrentHeader(-1);
        return;
    }
    // The fixed row: the view has no current cell there; its header shows which it is.
    m_onFixedRow = true;
    m_fixedCol = qBound(0, col, model->gridCols() - 1);
    MSFlexGrid1->selectionModel()->clear();
    model->setCurrentHeader(m_fixedCol);
    if (model->readingCount() > 0) MSFlexGrid1->scrollTo(model->index(0, m_fixedCol));
}

void frmDatasheet::MSFlexGrid1_Click() {
    const int row = Row();
    if (row < 1 || model->readingCount() == 0 || Col() != model->lastColumn()) return;
    model->toggleMark(row);
    m_gridChanged = true;
}

void frmDatasheet::showMessage(const QString& text) {
    m_s.dialogs.inform(text, kTitle, Icon::Information);
}

void frmDatasheet::MSFlexGrid1_KeyPress(int keyAscii) {
    logged(m_s, kKeyPress, [&] {
        const int row = Row();
        const int col = Col();
        // The fixed row and the plot marks hold no channel value, whatever their column.
        const bool editable = row >= 1 && model->readingCount() > 0 && col != model->lastColumn();
        const QString cell = editable ? model->cellText(row, col) : QString();
        switch (datasheetKey(keyAscii, col, editable, cell)) {
        case GridKey::Nothing:
            return;
        case GridKey::RemoveLast: {
            m_gridChanged = true;
            QString text = model->cellText(row, col);
            if (!text.isEmpty()) {
                text.chop(1);
                model->setCellText(row, col, text);
            }
            return;
        }
        case GridKey::Empty:
            m_gridChanged = true;
            if (!cell.isEmpty()) model->setCellText(row, col, QString());
            return;
        case GridKey::Append:
            m_gridChanged = true;
            model->setCellText(row, col, model->cellText(row, col) + QChar(keyAscii));
            return;
        case GridKey::NextCell: {
            const int cols = model->gridCols();
            if (col + 1 < cols)
                setCurrentCell(row, col + 1);
            else if (row + 1 < model->gridRows())
                setCurrentCell(row + 1, 0);
            else
                setCurrentCell(0, 0);
            return;
        }
        case GridKey::MessageA:
            showMessage(datasheetMessageA());
            return;
        case GridKey::MessageB:
            showMessage(datasheetMessageB());
            return;
        }
    });
}

bool frmDatasheet::eventFilter(QObject* watched, QEvent* event) {
    if (watched != MSFlexGrid1 || event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
    case Qt::Key_Escape:
        return false; // closes the window, as in any window
    case Qt::Key_Tab:
        MSFlexGrid1_KeyPress('\t');
        return true;
    case Qt::Key_Backtab: {
        // Shift+Tab walks back the way Tab came.
        const int row = Row(), col = Col();
        if (col > 0)
            setCurrentCell(row, col - 1);
        else if (row > 0)
            setCurrentCell(row - 1, model->gridCols() - 1);
        else
            setCurrentCell(model->gridRows() - 1, model->gridCols() - 1);
        return true;
    }
    case Qt::Key_Backspace:
        MSFlexGrid1_KeyPress('\b');
        return true;
    case Qt::Key_Delete:
        MSFlexGrid1_KeyPress(127);
        return true;
    default:
        break;
    }
    // Shortcuts type no character; Ctrl with Alt is the key of a third character.
    const Qt::KeyboardModifiers mods = key->modifiers();
    if ((mods & (Qt::ControlModifier | Qt::MetaModifier)) && !(mods & Qt::AltModifier))
        return false;
    const QString text = key->text();
    if (text.isEmpty()) return false; // arrows, page keys: the grid moves
    MSFlexGrid1_KeyPress(text.front().unicode());
    return true;
}

SensorSheet frmDatasheet::sensorSheet() const {
    SensorSheet sheet;
    const CurrentSensor& sensor = m_s.currentSensor;
    sheet.sensor = m_sensor;
    sheet.type = sensor.text(QStringLiteral("Family"));
    sheet.level = sensor.text(QStringLiteral("Level"));
    sheet.location = sensor.text(QStringLiteral("Location"));
    if (const Result<QVariant> installed = sensor.value(QStringLiteral("InstallDate"));
        installed.ok())
        sheet.installDate = formatDateValue(installed.value(), QStringLiteral("yyyy/MM/dd"));
    // As the Installation tab fills its offset box from the stored offset, which the plots
    // read their loads against.
    if (const Result<QVariant> recess = sensor.value(QStringLiteral("Recess")); recess.ok())
        sheet.offset = formatNumberValue(recess.value(), 2);
    // A database without the levels table (one that could only be read when it was
    // opened) has no levels: nothing to log.
    if (hasAlarmTable(m_s.gConnection)) {
        const Result<AlarmLevels> levels = loadAlarmLevels(m_s.gConnection, m_sensor);
        if (levels.ok()) {
            sheet.alert = levels.value().alert;
            sheet.alarm = levels.value().alarm;
        } else {
            m_s.logFailure(levels.error(), kExport);
        }
    }

    const double offset = installationOffset(sheet.offset);
    int channel1 = -1, channelT = -1;
    for (int c = 0; c < model->lastColumn(); ++c) {
        if (model->fieldName(c).compare(QLatin1String("Channel1"), Qt::CaseInsensitive) == 0)
            channel1 = c;
        if (model->fieldName(c).compare(QLatin1String("ChannelT"), Qt::CaseInsensitive) == 0)
            channelT = c;
    }
    Recordset& rs = m_s.rsReadings;
    sheet.readings.reserve(std::size_t(model->readingCount()));
    for (int r = 1; r <= model->readingCount(); ++r) {
        // The marks as the grid shows them, toggled or not.
        if (model->isTicked(r)) continue;
        SensorSheetRow row;
        if (rs.isOpen() && rs.setAbsolutePosition(r).ok())
            if (const Result<QVariant> when = rs.value(QStringLiteral("FullDate"));
                when.ok() && when.value().typeId() == QMetaType::QDateTime)
                row.at = when.value().toDateTime();
        row.key = model->cellText(r, 0);
        // The channels as the grid shows them, typed edits included.
        const QString load = channel1 >= 0 ? model->cellText(r, channel1) : QString();
        if (holdsLoad(QStringView(load)))
            if (const double v = loadAfterOffset(QStringView(load), offset); std::isfinite(v))
                row.load = v;
        const QString temperature = channelT >= 0 ? model->cellText(r, channelT) : QString();
        if (hasLeadingNumber(temperature))
            if (const double v = temperatureValue(QStringView(temperature)); std::isfinite(v))
                row.temperature = v;
        sheet.readings.push_back(std::move(row));
    }
    return sheet;
}

void frmDatasheet::Image1_Click() {
    // A kept folder that cannot take the workbook is told before anything is written.
    if (const QString why = keptFolder->whyNotKept(QStringLiteral("The workbook"),
                                                   model->gridRows() * kWorkbookRowRoom);
        !why.isEmpty()) {
        m_s.dialogs.inform(why, kTitle, Icon::Exclamation);
        return;
    }
    std::optional<std::vector<ChangeEntry>> changes;
    if (chkChanges->isChecked()) {
        ChangeFilter filter;
        filter.instrumentId = m_sensor;
        Result<std::vector<ChangeEntry>> listed = listChanges(m_s.gConnection, filter);
        if (!listed.ok()) {
            m_s.logFailure(listed.error(), kExport);
            m_s.dialogs.inform(QStringLiteral("The sensor's changes could not be read:") + kCrLf +
                                   listed.error().description + kCrLf +
                                   QStringLiteral("The workbook was not written."),
                               kTitle, Icon::Exclamation);
            return;
        }
        changes = std::move(listed).value();
    }
    const SensorSheet sheet = sensorSheet();
    FlexGridToExcel(m_s, *model, model->gridRows(), model->gridCols(), 1, m_sensor, m_progress,
                    keptFolder->kept(), &sheet, changes ? &*changes : nullptr);
}

bool frmDatasheet::Read_Values_From_Grid() {
    bool refused = false;
    logged(m_s, kReadValues, [&] {
        Recordset& rs = m_s.rsReadings;
        // The grid was filled from this sensor's readings and goes back to them alone.
        if (rs.isOpen() && rs.table() != m_sensor)
            throw Abort{Error{err::InvalidArgument,
                              QStringLiteral("The open readings are not those of sensor ") +
                                  m_sensor + QStringLiteral("; nothing was written back.")}};
        std::vector<int> deleted;
        const Status written = writeDatasheet(m_s.gConnection, rs, *model, &deleted);
        if (written.error().number != err::ChangedByAnother) return need(written);
        // Another engineer changed some of the readings meanwhile: the grid keeps every
        // edit, and the readings now hold what is stored, so that writing back again
        // stores the edits over it on purpose. The edits of a reading deleted meanwhile
        // can never be written: they leave the grid, or no close would ever succeed.
        refused = true;
        for (const int row : deleted)
            model->forgetEdits(row);
        m_s.LogError(errorText(written.error(), kReadValues));
        m_s.dialogs.inform(
            written.error().description + kCrLf +
                (deleted.empty() ? QString()
                                 : QStringLiteral("Your changes to the readings deleted "
                                                  "meanwhile cannot be written back: they were "
                                                  "taken out of the datasheet.") +
                                       kCrLf) +
                QStringLiteral("Your changes are still in the datasheet: close it again to "
                               "write them over the values stored now."),
            QStringLiteral("Site server"), Icon::Exclamation);
    });
    if (!refused) m_s.rsReadings.close();
    return !refused;
}

void frmDatasheet::Form_Unload() {
    if (m_gridChanged) Read_Values_From_Grid();
    emit unloaded();
}

void frmDatasheet::done(int result) {
    // A changed cell that holds no number is never written back: the window stays open
    // on that cell, with every edit, until the user corrects it.
    if (!m_unloaded && m_gridChanged) {
        if (const auto bad = firstNotNumber(*model)) {
            setCurrentCell(bad->row, bad->column);
            m_s.dialogs.inform(bad->sentence + kCrLf +
                                   QStringLiteral("Correct it, or empty the cell with the Delete "
                                                  "key, before closing: nothing has been "
                                                  "written back yet."),
                               kTitle, Icon::Exclamation);
            return;
        }
    }
    if (!m_unloaded) {
        // A write-back refused for another engineer's change keeps the window open.
        if (m_gridChanged && !Read_Values_From_Grid()) return;
        m_unloaded = true;
        emit unloaded();
    }
    QDialog::done(result);
}

} // namespace rv
