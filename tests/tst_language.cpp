// The data and language menus, switching the interface's language while it
// runs, and the English translation being complete.
#include "base/setting.h"
#include "app/startup.h"
#include "charts/customcoordinates.h"
#include "charts/livechart.h"
#include "ui/deviceinfoui.h"
#include "simulator.h"
#include "ui/maindialog.h"
#include "ui/capacitypage.h"
#include "ui/prompts.h"
#include "ui/statspanel.h"
#include "ui_deviceinfoui.h"
#include "ui_maindialog.h"
#include "windowinput.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QLineEdit>
#include <QPushButton>
#include <QRawFont>
#include <QScrollBar>
#include <QTableView>
#include <QTextEdit>
#include <QToolButton>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

// Actions of the menu the window pops up, triggered by text.
struct MenuRecord {
    QStringList texts;
    QList<bool> icons;
    QString choose;
};

bool hasChinese(const QString &text)
{
    for (QChar c : text) {
        if ((c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF) || (c.unicode() >= 0x3000 && c.unicode() <= 0x303F)
            || (c.unicode() >= 0xFF00 && c.unicode() <= 0xFFEF))
            return true;
    }
    return false;
}

} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    MenuRecord m_menu;

    // A press: the first builds the menu; once one is attached to the button,
    // the button pops that one up itself.
    void chooseFrom(QPushButton *button, const QString &text)
    {
        m_menu = MenuRecord();
        m_menu.choose = text;
        if (!button->menu()) {
            button->click();
            return;
        }
        for (QAction *a : button->menu()->actions()) {
            m_menu.texts << a->text();
            if (a->text() == text)
                a->trigger();
        }
    }

private slots:
    void initTestCase()
    {
        Startup::applyLook(*qApp);
        Prompts::setMenuHandler([this](QMenu *menu, const QPoint &) {
            for (QAction *a : menu->actions()) {
                m_menu.texts << a->text();
                m_menu.icons << !a->icon().isNull();
            }
            for (QAction *a : menu->actions()) {
                if (a->text() == m_menu.choose)
                    a->trigger();
            }
        });
        Prompts::setWarningHandler([](QWidget *, const QString &, const QString &text) {
            QFAIL(qPrintable(QStringLiteral("unexpected warning: ") + text));
        });
    }

    void init()
    {
        sim::reset();
        m_dir.reset(new QTemporaryDir);
        QVERIFY(QDir::setCurrent(m_dir->path()));
    }

    void cleanup()
    {
        QTRY_COMPARE(sim::openHandles(), 0);
    }

    void dataMenu()
    {
        MainDialog d;
        Ui::MainDialog *f = d.form();
        chooseFrom(f->disp_btn_menu, QStringLiteral("滚动图显"));
        QCOMPARE(m_menu.texts, QStringList({"导出数据(.csv)", "导出图片(.png)", "曲线设置", "累计图显", "滚动图显", "历史记录", "实时输出", "工作台", "开发中..."}));
        QCOMPARE(m_menu.icons, QList<bool>({true, true, true, true, true, true, true, true, false}));
        QCOMPARE(f->disp_btn_menu->styleSheet(), QStringLiteral("QPushButton::menu-indicator{image:none}"));
        QCOMPARE(d.liveChart()->displayMode(), int(LiveChart::Scroll));
        chooseFrom(f->disp_btn_menu, QStringLiteral("累计图显"));
        QCOMPARE(d.liveChart()->displayMode(), int(LiveChart::Accumulate));
        // The last entry does nothing.
        chooseFrom(f->disp_btn_menu, QStringLiteral("开发中..."));
        QCOMPARE(d.liveChart()->displayMode(), int(LiveChart::Accumulate));
        QVERIFY(d.curveTable() == nullptr);
        chooseFrom(f->disp_btn_menu, QStringLiteral("曲线设置"));
        QVERIFY(d.curveTable() != nullptr);
        // Every selector of the table shows its whole text, inside the table.
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QTableView *table = d.curveTable();
        const QList<QComboBox *> combos = table->findChildren<QComboBox *>();
        QCOMPARE(combos.size(), 9);
        QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
        QCOMPARE(table->verticalScrollBar()->maximum(), 0);
        for (QComboBox *c : combos) {
            QVERIFY2(c->width() >= c->sizeHint().width(),
                     qPrintable(QStringLiteral("%1: %2 < %3").arg(c->currentText()).arg(c->width()).arg(c->sizeHint().width())));
            const QRect inTable(c->mapTo(table->viewport(), QPoint()), c->size());
            QVERIFY2(table->viewport()->rect().contains(inTable), qPrintable(c->currentText()));
        }
    }

    void switchingLanguage()
    {
        sim::attach().setReportRate(0);
        auto d = std::make_unique<MainDialog>();
        Ui::MainDialog *f = d->form();
        // A fresh settings file: English shows at once.
        chooseFrom(f->btnMenu_Menu, QStringLiteral("English"));
        QCOMPARE(m_menu.texts, QStringList({"简体中文", "English"}));
        QCOMPARE(m_menu.icons, QList<bool>({true, false}));
        QVERIFY(d->isEnglish());
        QCOMPARE(Setting().read(QStringLiteral("Language")), QStringLiteral("English"));
        QCOMPARE(f->tbtn3->text(), QStringLiteral("Online testing"));
        QCOMPARE(f->tbtn6->text(), QStringLiteral("Capacity detector"));
        // The controls built in code follow at once.
        QCOMPARE(d->measureButton()->text(), QStringLiteral("Measure"));
        QCOMPARE(d->statsPanel()->copyButton()->text(), QStringLiteral("Copy"));
        const QList<QLabel *> statsLabels = d->statsPanel()->findChildren<QLabel *>();
        QVERIFY(std::any_of(statsLabels.begin(), statsLabels.end(),
                            [](const QLabel *l) { return l->text() == QStringLiteral("Interval A–B"); }));
        QCOMPARE(d->capacityPage()->startButton()->text(), QStringLiteral("Start run"));
        QCOMPARE(d->capacityPage()->seconds()->suffix(), QStringLiteral(" s"));
        QVERIFY(d->capacityPage()->liveLabel()->text().startsWith(QStringLiteral("Elapsed ")));
        QCOMPARE(f->device_treeWidget->headerItem()->text(0), QStringLiteral("Devices"));
        QCOMPARE(f->settings_labTitle->text(), QStringLiteral("System settings"));
        DeviceInfoUI *entry = d->deviceEntries().first();
        QCOMPARE(entry->form()->label_connect_type->text(), QStringLiteral("Connect"));
        QTRY_COMPARE(entry->form()->label_model->text(), QStringLiteral("Model"));
        QCOMPARE(entry->form()->label_model_value->text(), QStringLiteral("M512X"));

        // The user's chart title and the custom range window's real state
        // survive a change; the data menu is built in the new language.
        chooseFrom(f->disp_btn_menu, QString());
        QCOMPARE(m_menu.texts.first(), QStringLiteral("Export data (.csv)"));
        QPointer<QMenu> englishMenu = f->disp_btn_menu->menu();
        f->disp_btn_title->setText(QStringLiteral("Charger A"));
        customcoordinates *w = d->customAxis();
        w->toggleButton(PD)->click();
        chooseFrom(f->btnMenu_Menu, QStringLiteral("简体中文"));
        QVERIFY(!d->isEnglish());
        QCOMPARE(Setting().read(QStringLiteral("Language")), QStringLiteral("Chinese"));
        QCOMPARE(f->tbtn3->text(), QStringLiteral("联机测试"));
        QCOMPARE(f->tbtn1->text(), QStringLiteral("固件升级"));
        QCOMPARE(d->measureButton()->text(), QStringLiteral("测量"));
        QCOMPARE(d->capacityPage()->stopButton()->text(), QStringLiteral("停止记录"));
        QCOMPARE(f->device_treeWidget->headerItem()->text(0), QStringLiteral("设备列表"));
        QCOMPARE(f->labTitle->text(), QStringLiteral("主页菜单"));
        QCOMPARE(f->settings_labTitle->text(), QStringLiteral("系统设置"));
        QVERIFY(f->title_text_label->text().contains(QStringLiteral("电能表")));
        QCOMPARE(f->btnMenu_Close->text(), QString(QChar(0xF00D)));
        QCOMPARE(entry->form()->label_connect_type->text(), QStringLiteral("连接"));
        QTRY_COMPARE(entry->form()->label_serialnum->text(), QStringLiteral("序列号"));
        QCOMPARE(f->disp_btn_title->text(), QStringLiteral("Charger A"));
        QCOMPARE(w->toggleButton(PD)->text(), QStringLiteral("启用"));
        QCOMPARE(w->toggleButton(VBUS)->text(), QStringLiteral("关闭"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Custom Axis"));
        // The data menu built in English is replaced by one in Chinese.
        chooseFrom(f->disp_btn_menu, QString());
        QCOMPARE(m_menu.texts.first(), QStringLiteral("导出数据(.csv)"));
        QTRY_VERIFY(englishMenu.isNull());

        // Chinese again changes nothing; the next start follows the file.
        chooseFrom(f->btnMenu_Menu, QStringLiteral("简体中文"));
        QCOMPARE(f->tbtn3->text(), QStringLiteral("联机测试"));
        chooseFrom(f->btnMenu_Menu, QStringLiteral("English"));
        QTRY_COMPARE(w->toggleButton(PD)->text(), QStringLiteral("Enable"));
        d.reset();
        MainDialog next;
        QVERIFY(next.isEnglish());
        QCOMPARE(next.form()->tbtn2->text(), QStringLiteral("Setting"));
    }

    // Page by page and in the windows its data menu opens: the English
    // window shows no Chinese but the texts kept in Chinese in both
    // languages, and neither window draws a character its font draws blank
    // (a font may list a character it has no outline for).
    void everyTextShowsInItsLanguage()
    {
        sim::attach().setReportRate(0);
        auto d = std::make_unique<MainDialog>();
        Ui::MainDialog *f = d->form();
        d->resize(1400, 900);
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        // Language names in their own language, and the page titles and the
        // firmware size kept in Chinese.
        const QStringList keptChinese = {QStringLiteral("简体中文"), QStringLiteral("中文"), QStringLiteral("仪表参数设置"),
                                         QStringLiteral("固件升级"), QStringLiteral("固件大小:")};
        QStringList found;
        bool english = false;
        auto blank = [](const QFont &font, const QString &text) {
            const QRawFont raw = QRawFont::fromFont(font);
            for (const uint c : text.toUcs4()) {
                if (QChar::isSpace(c) || !raw.supportsCharacter(c))
                    continue;   // drawn by another font, if any
                const QVector<quint32> glyph = raw.glyphIndexesForString(QString::fromUcs4(&c, 1));
                if (!glyph.isEmpty() && raw.pathForGlyph(glyph[0]).isEmpty())
                    return QString::fromUcs4(&c, 1);
            }
            return QString();
        };
        auto look = [&](QWidget *root, const QString &where) {
            QList<QWidget *> widgets = root->findChildren<QWidget *>();
            widgets.prepend(root);
            for (QWidget *w : widgets) {
                if (!w->isVisible())
                    continue;
                QStringList texts = {w->windowTitle(), w->toolTip()};
                if (auto *l = qobject_cast<QLabel *>(w))
                    texts << l->text();
                if (auto *b = qobject_cast<QAbstractButton *>(w))
                    texts << b->text();
                if (auto *g = qobject_cast<QGroupBox *>(w))
                    texts << g->title();
                if (auto *e = qobject_cast<QLineEdit *>(w))
                    texts << e->placeholderText();
                if (auto *c = qobject_cast<QComboBox *>(w))
                    for (int i = 0; i < c->count(); ++i)
                        texts << c->itemText(i);
                if (auto *t = qobject_cast<QTextEdit *>(w))
                    texts << t->toPlainText();
                if (auto *v = qobject_cast<QTableView *>(w))
                    for (int c = 0; c < v->model()->columnCount(); ++c)
                        texts << v->model()->headerData(c, Qt::Horizontal).toString();
                const QString what = where + QLatin1String(": ") + w->metaObject()->className() + QLatin1Char(' ')
                                     + w->objectName() + QLatin1String(" \"");
                for (const QString &t : texts) {
                    if (english && hasChinese(t) && !keptChinese.contains(t.trimmed()))
                        found << what + t + QLatin1Char('"');
                    if (!blank(w->font(), t).isEmpty())
                        found << what + t + QLatin1String("\" draws ") + blank(w->font(), t) + QLatin1String(" blank");
                }
            }
        };
        auto home = [&] {
            for (QPushButton *back : {f->disp_btnReturn, f->upgrade_btnReturn, f->settings_btnReturn,
                                      f->settings_btnReturn_k4, f->six_btnReturn})
                if (back->isVisible())
                    clickOn(back);
        };
        const QList<QToolButton *> pages = d->homeButtons();
        for (const char *language : {"English", "简体中文"}) {
            chooseFrom(f->btnMenu_Menu, QString::fromUtf8(language));
            english = d->isEnglish();
            // The device list's entry follows at its next refresh.
            QTest::qWait(1200);
            look(d.get(), QStringLiteral("first page"));
            home();
            look(d.get(), QStringLiteral("home"));
            int visited = 0;
            for (QToolButton *page : pages) {
                if (!page->isVisible())
                    continue;
                clickOn(page);
                look(d.get(), page->text());
                home();
                ++visited;
            }
            QCOMPARE(visited, 4);
            clickOn(pages.at(2));   // online testing, whose data menu opens the windows
            const QStringList entries = english ? QStringList{"Run history", "Live outputs", "Bench", "Curve settings"}
                                                : QStringList{"历史记录", "实时输出", "工作台", "曲线设置"};
            for (const QString &entry : entries) {
                chooseFrom(f->disp_btn_menu, entry);
                for (QWidget *top : QApplication::topLevelWidgets())
                    if (top != d.get() && top->isVisible())
                        look(top, entry);
            }
            for (QWidget *top : QApplication::topLevelWidgets())
                if (top != d.get())
                    top->close();
            home();
        }
        found.removeDuplicates();
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
    }

    void translationIsComplete()
    {
        // Every text the code and the forms pass through tr(), as lupdate
        // finds them now, has English in the compiled translation.
        const QString ts = m_dir->filePath(QStringLiteral("now.ts"));
        QProcess lupdate;
        lupdate.setWorkingDirectory(QStringLiteral(OMBREL_SOURCE_DIR));
        lupdate.start(QStringLiteral(OMBREL_LUPDATE),
                      {"-no-obsolete", "-locations", "none", "base", "device", "recording", "meterbench", "outputs", "cli",
                       "charts", "report", "ui", "app", "python", "-ts", ts});
        QVERIFY(lupdate.waitForFinished(60000));
        QCOMPARE(lupdate.exitCode(), 0);

        QTranslator english;
        QVERIFY(english.load(QStringLiteral(":/Language/lib_en.qm")));
        QFile file(ts);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QString context;
        int checked = 0;
        QStringList missing;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("name"))
                context = xml.readElementText();
            if (xml.name() == QLatin1String("source")) {
                const QString source = xml.readElementText();
                if (!hasChinese(source))
                    continue;
                ++checked;
                if (english.translate(context.toUtf8().constData(), source.toUtf8().constData()).isEmpty())
                    missing << context + QLatin1String(": ") + source;
            }
        }
        QVERIFY(!xml.hasError());
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
        QVERIFY2(checked > 100, qPrintable(QString::number(checked)));   // lupdate found the texts
    }
};

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
