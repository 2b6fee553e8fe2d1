// The live chart of the display page: its construction, curve groups, title,
// custom ranges, display modes and the curve style table.
#include "ui/livechartcontroller.h"

#include "base/setting.h"
#include "charts/chartview.h"
#include "charts/customcoordinates.h"
#include "charts/livechart.h"
#include "ui/prompts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QPushButton>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

#include <algorithm>

namespace {

const char kGroupActiveStyle[] =
    "QPushButton{background-color:rgb(62, 62, 62); color: rgb(255, 255, 0);border:2px groove green;"
    "border-radius:10px;padding:2px 4px;border-style: outset;}QPushButton:hover{background-color:rgb(62, 62, 62); "
    "color: rgb(255, 255, 0);border:2px groove green;border-radius:10px;padding:2px 4px;border-style: outset;}";
const char kGroupInactiveStyle[] =
    "QPushButton{background-color: rgb(62, 62, 62);border-radius: 5px;color: rgb(255, 255, 255);border:2px groove "
    "gray;border-radius:10px;padding:2px 4px;border-style: outset;}QPushButton:hover{background-color:rgb(62, 62, "
    "62); color: rgb(255, 255, 0);border:2px groove green;border-radius:10px;padding:2px 4px;border-style: outset;}";
const char kTableOkStyle[] =
    "QPushButton{background-color: rgb(126, 236, 236);color: black;border:2px groove gray;border-radius:10px;"
    "padding:2px 4px;border-style: outset;} QPushButton:hover{background-color:rgb(126, 255, 206); color: black;} "
    "QPushButton:pressed{background-color:rgb(0, 255, 0);border-style: inset;}";

QString swatchStyle(const QColor &c)
{
    return QStringLiteral("background:rgb(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

// A cell widget centred in a container without margins.
QWidget *centred(QWidget *w)
{
    auto *box = new QWidget;
    auto *layout = new QHBoxLayout(box);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(w, 0, Qt::AlignCenter);
    return box;
}

} // namespace

LiveChartController::LiveChartController(const Page &page, const ReadingLog &log, std::function<qint64()> now,
                                         QWidget *window)
    : QObject(window), m_page(page), m_window(window), m_now(std::move(now))
{
    // The ranges are loaded before the chart, so its first ranges honour
    // them; their window is made when first shown.
    m_ranges.load();
    m_live.reset(new LiveChart(log, m_ranges, loadCurveStyles(), m_now()));
    m_view = new ChartView(m_live->chart(), nullptr);
    m_view->setRenderHint(QPainter::Antialiasing);
    LiveChart *live = m_live.get();
    m_view->setHoverText([live](qint64 ms) { return live->hoverText(ms); });
    connect(live, &LiveChart::redrawn, m_view, &ChartView::refreshHover);
    m_page.chartArea->addWidget(m_view);
    m_shown = [live] { return live; };
}

LiveChartController::~LiveChartController()
{
    m_view->setHoverText(nullptr);
    m_live.reset();
    delete m_custom;
}

QTableView *LiveChartController::curveTable() const
{
    return m_curveTable;
}

// ---------------------------------------------------------------- groups

void LiveChartController::toggleGroup(CurveGroup group)
{
    LiveChart *chart = m_shown();
    const CurveGroup next = chart->group() == group ? CurveGroup::Main : group;
    chart->showGroup(next, m_now());
    if (chart != m_live.get())
        chart->fitValues();
    const std::pair<QPushButton *, CurveGroup> toggles[] = {{m_page.dpDm, CurveGroup::DpDm},
                                                            {m_page.cc, CurveGroup::Cc},
                                                            {m_page.temp, CurveGroup::Temp}};
    for (const auto &t : toggles)
        t.first->setStyleSheet(QLatin1String(t.second == next ? kGroupActiveStyle : kGroupInactiveStyle));
}

void LiveChartController::editTitle()
{
    QString title = m_page.title->text();
    if (Prompts::getText(m_window, QCoreApplication::translate("MainDialog", "标题变更对话框"),
                         QCoreApplication::translate("MainDialog", "请输入标题:"), title))
        m_page.title->setText(title);
}

// ---------------------------------------------------------------- custom ranges

customcoordinates *LiveChartController::customAxis()
{
    if (!m_custom) {
        m_custom = new customcoordinates(m_ranges);
        // A window of its own that must not keep the program alive.
        m_custom->setAttribute(Qt::WA_QuitOnClose, false);
        m_custom->setWindowTitle(QCoreApplication::translate("MainDialog", "Custom Axis"));
        m_custom->hide();
        connect(m_custom, &customcoordinates::RangChang_signal, this, [this] { m_live->reapplyRanges(); });
    }
    return m_custom;
}

void LiveChartController::closeCustomAxis()
{
    if (m_custom)
        m_custom->close();
}

void LiveChartController::toggleCustomAxis()
{
    customAxis();
    if (m_custom->isHidden()) {
        const int x = m_window->x() + (m_window->width() - m_custom->width()) / 2 - 10;
        const int y = m_window->y() + (m_window->height() - m_custom->height()) / 2 - 10;
        m_custom->setGeometry(x, y, 200, 200);
        m_custom->show();
    } else {
        m_custom->hide();
    }
}

// ---------------------------------------------------------------- curve styles

void LiveChartController::openCurveTable()
{
    // One table at a time: a new one replaces the last.
    delete m_curveTable;

    auto *table = new QTableView(m_page.tableArea);
    auto *model = new QStandardItemModel(10, 3, table);
    model->setHorizontalHeaderLabels({QStringLiteral(" "), QCoreApplication::translate("MainDialog", "曲线颜色"),
                                      QCoreApplication::translate("MainDialog", "曲线宽度")});
    model->setVerticalHeaderItem(8, new QStandardItem(QStringLiteral(" ")));
    model->setVerticalHeaderItem(9, new QStandardItem(QStringLiteral(" ")));
    table->setModel(model);
    m_curveTableOpen = true;
    m_curveTable = table;
    table->setSpan(9, 0, 1, 3);

    const char *const names[kChannelCount] = {
        QT_TRANSLATE_NOOP("MainDialog", "VBUS"), QT_TRANSLATE_NOOP("MainDialog", "IBUS"),
        QT_TRANSLATE_NOOP("MainDialog", "POWER"), QT_TRANSLATE_NOOP("MainDialog", "PD"),
        QT_TRANSLATE_NOOP("MainDialog", "PM"), QT_TRANSLATE_NOOP("MainDialog", "CC1"),
        QT_TRANSLATE_NOOP("MainDialog", "CC2"), QT_TRANSLATE_NOOP("MainDialog", "CPU_Temp")};
    for (int c = 0; c < kChannelCount; ++c)
        model->setItem(c, 0, new QStandardItem(QCoreApplication::translate("MainDialog", names[c])));
    model->setItem(8, 0, new QStandardItem(QCoreApplication::translate("MainDialog", "背景颜色风格：")));

    auto *ok = new QPushButton(QCoreApplication::translate("MainDialog", "确定"));
    ok->setStyleSheet(QLatin1String(kTableOkStyle));
    connect(ok, &QPushButton::clicked, this, &LiveChartController::closeCurveTable);
    table->setIndexWidget(model->index(9, 0), centred(ok));

    const Setting settings;
    for (int c = 0; c < kChannelCount; ++c) {
        auto *swatch = new QPushButton;
        swatch->setStyleSheet(swatchStyle(CurveStyleText::toColor(settings.read(CurveStyleText::colorKey(c)))));
        connect(swatch, &QPushButton::clicked, this, [this, c, swatch] { chooseCurveColor(c, swatch); });
        table->setIndexWidget(model->index(c, 1), centred(swatch));

        auto *widths = new QComboBox;
        widths->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        for (int i = 0; i < CurveStyleText::kWidthChoices; ++i)
            widths->addItem(CurveStyleText::widthChoice(i));
        const int choice = CurveStyleText::choiceOfWidth(settings.read(CurveStyleText::widthKey(c)));
        widths->setCurrentIndex(choice < 0 ? 0 : choice);
        connect(widths, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this, c](int choice) { chooseCurveWidth(c, choice); });
        table->setIndexWidget(model->index(c, 2), centred(widths));
    }
    auto *themes = new QComboBox;
    themes->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (int i = 0; i < CurveStyleText::kThemeCount; ++i)
        themes->addItem(CurveStyleText::themeName(i));
    const int theme = CurveStyleText::themeIndex(settings.read(QStringLiteral("ChartTheme")));
    themes->setCurrentIndex(theme < 0 ? 0 : theme);
    connect(themes, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &LiveChartController::chooseTheme);
    table->setIndexWidget(model->index(8, 1), centred(themes));

    // Columns at least 100 wide; rows low enough that all ten fit the
    // table's 330 pixels.
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(28);
    table->horizontalHeader()->setMinimumSectionSize(100);

    // 320 by 330, or as much more as its texts need (a larger font, a
    // longer translation): every cell whole, no scroll bar.
    table->horizontalHeader()->resizeSections(QHeaderView::ResizeToContents);
    const int frame = 2 * table->frameWidth();
    const QSize needed(table->verticalHeader()->sizeHint().width() + table->horizontalHeader()->length() + frame,
                       table->horizontalHeader()->sizeHint().height() + table->verticalHeader()->length() + frame);
    const QWidget *area = m_page.tableArea;
    table->setGeometry((area->width() - table->width()) / 2 - 100, (area->height() - table->height()) / 2 - 100,
                       std::max(320, needed.width()), std::max(330, needed.height()));
    table->show();
}

void LiveChartController::chooseCurveColor(int channel, QWidget *swatch)
{
    CurveStyle style = m_live->style(channel);
    const QColor chosen = Prompts::getColor(m_window, style.color);
    if (!chosen.isValid())
        return;
    swatch->setStyleSheet(swatchStyle(chosen));
    style.color = chosen;
    m_live->setCurveStyle(channel, style);
    Setting().write(CurveStyleText::colorKey(channel), CurveStyleText::fromColor(chosen));
}

void LiveChartController::chooseCurveWidth(int channel, int choice)
{
    CurveStyle style = m_live->style(channel);
    style.width = CurveStyleText::widthOfChoice(choice);
    m_live->setCurveStyle(channel, style);
    Setting().write(CurveStyleText::widthKey(channel), QString::number(style.width, 'f', 1));
}

void LiveChartController::chooseTheme(int index)
{
    m_live->setTheme(index);
    if (index >= 0 && index < CurveStyleText::kThemeCount)
        Setting().write(QStringLiteral("ChartTheme"), CurveStyleText::themeName(index));
}

void LiveChartController::closeCurveTable()
{
    if (m_curveTableOpen) {
        m_curveTableOpen = false;
        if (m_curveTable)
            m_curveTable->hide();
    }
}
