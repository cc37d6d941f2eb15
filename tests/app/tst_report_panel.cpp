// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"
#include "controls/db_lookup_combo_box.h"
#include "data/data_module.h"
#include "reports/media_report_form.h"
#include "reports/query_report_dataset.h"
#include "reports/software_report_form.h"
#include "shell/application.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <functional>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString reportColumns =
    QStringLiteral("SELECT numero, nome, descricao, codigo, titulo, nome_categoria");
const QString reportFrom = QStringLiteral(
    "FROM softs LEFT JOIN categorias ON categorias.id_categoria = softs.categoria, cds");
const QStringList allTitlesSql = {reportColumns, reportFrom,
                                  QStringLiteral("where softs.midia = cds.codigo")};
const QStringList oneMediumSql = {
    reportColumns, reportFrom,
    QStringLiteral("where midia= :onumero and softs.midia = cds.codigo")};
const QString oneKind = QStringLiteral(" and softs.categoria = :ocategoria");

// What a report would have printed, read from its dataset when its preview would open.
struct Run
{
    QString kind; // "media", "all" or "medium"
    int records = 0;
    QVariant parameter;
    QStringList names;      // software names
    QStringList media;      // medium names of the software listed
    QVariant kindParameter; // the kind the statement restricts to, when it does
    QStringList kindNames;  // kind names of the software listed
    int formsAlive = 0;
};

// The main window with the preview replaced by a recorder; `duringPreview` runs once, inside
// the first preview, as the user acting while it is shown.
class RecordingForm1 : public TForm1
{
public:
    QList<Run> runs;
    std::function<void()> duringPreview;

protected:
    void previewReport(TQuickRep &report) override
    {
        const auto *dataSet = dynamic_cast<const QueryReportDataSet *>(report.DataSet.get());
        QVERIFY(dataSet);
        TADOQuery &query = dataSet->query();
        Run run;
        run.records = query.recordCount();
        run.formsAlive = int(findChildren<TForm8 *>().size() + findChildren<TForm9 *>().size());
        if (query.name() == QLatin1String("ADOQuery3")) {
            run.kind = QStringLiteral("media");
        } else {
            QCOMPARE(query.name(), QStringLiteral("ADOQuery4"));
            QStringList sql = query.sql();
            if (sql.size() == 3 && sql[2].endsWith(oneKind)) {
                sql[2].chop(oneKind.size());
                run.kindParameter = query.parameter(QStringLiteral("ocategoria"));
            }
            run.kind = sql == allTitlesSql ? QStringLiteral("all") : QStringLiteral("medium");
            if (run.kind == QLatin1String("medium")) {
                QCOMPARE(sql, oneMediumSql);
                run.parameter = query.parameter(QStringLiteral("onumero"));
            }
            const int name = query.findField(QStringLiteral("nome"))->index();
            const int medium = query.findField(QStringLiteral("titulo"))->index();
            const int kind = query.findField(QStringLiteral("nome_categoria"))->index();
            for (int record = 0; record < run.records; ++record) {
                run.names << query.textAt(record, name);
                run.media << query.textAt(record, medium);
                run.kindNames << query.textAt(record, kind);
            }
        }
        runs << run;
        if (duringPreview)
            std::exchange(duringPreview, {})();
    }
};

struct Fixture
{
    TempCatalogue catalogue{TempCatalogue::Content::Sample};
    CurrentDirectory directory{catalogue.directory()};
    FakeDialogs dialogs;
    TDm1 dm{[](const QString &) {}};
    RecordingForm1 form;

    QRadioButton *media = child<QRadioButton>("RadioButton1");
    QRadioButton *software = child<QRadioButton>("RadioButton2");
    QLabel *label = child<QLabel>("Label4");
    TDBLookupComboBox *list = child<TDBLookupComboBox>("ListaMidias");
    QPushButton *refresh = child<QPushButton>("GeraRelatBut");
    QCheckBox *allTitles = child<QCheckBox>("CheckBox1");
    QLineEdit *number = child<QLineEdit>("NumeroCD");
    QPushButton *generate = child<QPushButton>("GeraRelat");
    QLabel *kindLabel = child<QLabel>("LabelCategoria");
    QComboBox *kindList = child<QComboBox>("ListaCategorias");

    // The media list opens when the window is shown.
    Fixture()
    {
        form.bindDataModule(dm);
        form.FormShow();
    }

    template <typename T> T *child(const char *name) const
    {
        auto *widget = form.findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no child %s", name);
        return widget;
    }

    bool shown(const QWidget *widget) const { return widget->isVisibleTo(&form); }

    int rowOf(int codigo) const
    {
        for (int row = 0; row < list->listModel()->rowCount(); ++row) {
            if (list->listModel()->valueAt(row, QStringLiteral("codigo")).toInt() == codigo)
                return row;
        }
        return -1;
    }

    void chooseMedium(int codigo) { list->chooseRow(rowOf(codigo)); }

    // m: "Mídias", s: "Softwares", t: the check box, c: choose medium 3, g: "Gerar Relatório".
    void act(const QString &actions)
    {
        for (const QChar action : actions) {
            switch (action.unicode()) {
            case 'm':
                media->click();
                break;
            case 's':
                software->click();
                break;
            case 't':
                allTitles->click();
                break;
            case 'c':
                chooseMedium(3);
                break;
            case 'g':
                generate->click();
                break;
            default:
                qFatal("unknown action");
            }
        }
    }

    QStringList kinds() const
    {
        QStringList result;
        for (const Run &run : form.runs)
            result << run.kind;
        return result;
    }

    int count(const QString &sql) const { return catalogue.scalar(sql).toInt(); }
};

} // namespace

class TestReportPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationDisplayName(QStringLiteral("Quivel")); }
    void controlStates_data();
    void controlStates();
    void softwaresRunsTheBoxHandlerBeforeShowingIt();
    void choosingWithKeysAndEscape();
    void lookupIsHeardAsAComboBox();
    void noMediumNoReport();
    void mediaReportOnlyAfterSoftwares();
    void allSoftwareReport();
    void chosenMediumReport_data();
    void chosenMediumReport();
    void refreshKeepsTheChosenKey();
    void handlersDuringPreview_data();
    void handlersDuringPreview();
    void databaseFailureMakesNoReport();
    void kindListFollowsTheSoftwareChoices();
    void reportRestrictedToOneKind_data();
    void reportRestrictedToOneKind();
};

void TestReportPanel::controlStates_data()
{
    QTest::addColumn<QString>("actions");
    QTest::addColumn<bool>("generateShown");
    QTest::addColumn<bool>("generateEnabled");
    QTest::addColumn<bool>("panelShown");  // Label4, ListaMidias, GeraRelatBut, CheckBox1
    QTest::addColumn<bool>("listEnabled"); // ListaMidias and GeraRelatBut
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QString>("numeroCD");
    QTest::addColumn<QString>("medium");

    const QString none;
    const QString untouched = QStringLiteral("NumeroCD");
    const QString three = QStringLiteral("3");
    // The states the user meets.
    QTest::newRow("at start") << "" << false << true << false << true << false << untouched << none;
    QTest::newRow("after Mídias") << "m" << true << true << false << true << false << untouched
                                  << none;
    QTest::newRow("after Softwares, box clear")
        << "s" << true << true << true << true << false << untouched << none;
    QTest::newRow("after Softwares, box ticked")
        << "stms" << true << false << true << true << false << untouched << none;
    QTest::newRow("box ticked by the user")
        << "st" << true << true << true << false << true << untouched << none;
    QTest::newRow("box cleared by the user")
        << "stt" << true << false << true << true << false << untouched << none;
    QTest::newRow("a medium chosen")
        << "sttc" << true << true << true << true << false << three << three;
    // "Mídias" hides the software choices without touching them; "Softwares" clears the box
    // and waits for a choice, even of the medium already shown.
    QTest::newRow("Mídias after a medium and the box")
        << "sctm" << true << true << false << false << true << three << three;
    QTest::newRow("Softwares again")
        << "sctms" << true << false << true << true << false << three << three;
    QTest::newRow("Softwares again, the same medium chosen")
        << "sctmsc" << true << true << true << true << false << three << three;
    QTest::newRow("Softwares again, the box ticked")
        << "sctmst" << true << true << true << false << true << three << three;
    QTest::newRow("Softwares selected twice")
        << "stss" << true << true << true << false << true << untouched << none;
}

void TestReportPanel::controlStates()
{
    QFETCH(QString, actions);
    QFETCH(bool, generateShown);
    QFETCH(bool, generateEnabled);
    QFETCH(bool, panelShown);
    QFETCH(bool, listEnabled);
    QFETCH(bool, ticked);
    QFETCH(QString, numeroCD);
    QFETCH(QString, medium);

    Fixture f;
    f.act(actions);

    QCOMPARE(f.shown(f.generate), generateShown);
    QCOMPARE(f.generate->isEnabled(), generateEnabled);
    for (const QWidget *w :
         std::initializer_list<const QWidget *>{f.label, f.list, f.refresh, f.allTitles})
        QVERIFY2(f.shown(w) == panelShown, qPrintable(w->objectName()));
    QCOMPARE(f.list->isEnabled(), listEnabled);
    QCOMPARE(f.refresh->isEnabled(), listEnabled);
    QVERIFY(f.allTitles->isEnabled());
    QCOMPARE(f.allTitles->isChecked(), ticked);
    QVERIFY(f.media->isVisibleTo(&f.form) && f.software->isVisibleTo(&f.form));
    QVERIFY(!f.shown(f.number));
    QCOMPARE(f.number->text(), numeroCD);
    const QString mediumName =
        medium.isEmpty()
            ? QString()
            : f.catalogue.scalar(QStringLiteral("select titulo from cds where codigo = ") + medium);
    QCOMPARE(f.list->text(), mediumName);
    QVERIFY(f.form.runs.isEmpty());
}

void TestReportPanel::softwaresRunsTheBoxHandlerBeforeShowingIt()
{
    Fixture f;
    f.act(QStringLiteral("stm"));
    struct Seen
    {
        bool boxShown, listShown, generateEnabled;
    };
    QList<Seen> seen;
    // Connected after the window's own handler, so this sees the state it left.
    QObject::connect(f.allTitles, &QCheckBox::toggled, &f.form, [&] {
        seen << Seen{f.shown(f.allTitles), f.shown(f.list), f.generate->isEnabled()};
    });
    f.act(QStringLiteral("s"));
    QCOMPARE(seen.size(), 1);
    QVERIFY(seen[0].listShown);
    QVERIFY(!seen[0].boxShown);
    QVERIFY(!seen[0].generateEnabled);

    seen.clear();
    f.act(QStringLiteral("ms")); // the box is clear now: clearing it again runs nothing
    QVERIFY(seen.isEmpty());
    QVERIFY(f.generate->isEnabled());
}

void TestReportPanel::choosingWithKeysAndEscape()
{
    Fixture f;
    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));
    f.act(QStringLiteral("stt"));
    QVERIFY(!f.generate->isEnabled());

    f.list->setFocus();
    f.list->dropDown();
    QVERIFY(f.list->listVisible());
    QTest::keyClick(f.list->listView(), Qt::Key_Escape);
    QVERIFY(!f.list->listVisible());
    QVERIFY(!f.generate->isEnabled());
    QCOMPARE(f.number->text(), QStringLiteral("NumeroCD"));

    QTest::keyClick(f.list, Qt::Key_Down);
    QVERIFY(f.generate->isEnabled());
    QVERIFY(!f.list->text().isEmpty());
    QCOMPARE(f.number->text(), QString::number(f.list->keyValue().toInt()));
    QCOMPARE(f.number->text(),
             f.catalogue.scalar(QStringLiteral("select codigo from cds where titulo = '") +
                                f.list->text() + QStringLiteral("'")));
}

// A screen reader reads the medium list as it reads Qt's own combo box: named by its label,
// the shown medium as its value, the media as the items of its one child list.
void TestReportPanel::lookupIsHeardAsAComboBox()
{
    Fixture f;
    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));
    f.act(QStringLiteral("sc"));
    QAccessibleInterface *lookup = QAccessible::queryAccessibleInterface(f.list);
    QVERIFY(lookup);
    QCOMPARE(lookup->role(), QAccessible::ComboBox);
    const QString medium =
        f.catalogue.scalar(QStringLiteral("select titulo from cds where codigo = 3"));
    QVERIFY(!medium.isEmpty());
    QCOMPARE(lookup->text(QAccessible::Name),
             QStringLiteral("Listar softwares da seguinte Mídia:"));
    QCOMPARE(lookup->text(QAccessible::Value), medium);
    QVERIFY(lookup->state().focusable);
    QVERIFY(lookup->state().collapsed);

    QCOMPARE(lookup->childCount(), 1);
    QAccessibleInterface *list = lookup->child(0);
    QCOMPARE(list->role(), QAccessible::List);
    QCOMPARE(list->parent()->object(), f.list);
    QStringList items;
    for (int i = 0; i < list->childCount(); ++i) {
        QCOMPARE(list->child(i)->role(), QAccessible::ListItem);
        items << list->child(i)->text(QAccessible::Name);
    }
    QStringList media;
    for (int row = 0; row < f.list->listModel()->rowCount(); ++row)
        media << f.list->listModel()->textAt(row);
    QCOMPARE(items.size(), f.count(QStringLiteral("select count(*) from cds")));
    QCOMPARE(items, media);

    // Another choice is heard at once.
    f.chooseMedium(1);
    QCOMPARE(lookup->text(QAccessible::Value),
             f.catalogue.scalar(QStringLiteral("select titulo from cds where codigo = 1")));
}

void TestReportPanel::noMediumNoReport()
{
    Fixture f;
    f.act(QStringLiteral("s"));
    QVERIFY(f.generate->isEnabled());
    f.act(QStringLiteral("g"));
    QVERIFY(f.form.runs.isEmpty());
    QVERIFY(f.dialogs.boxes.isEmpty());
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TestReportPanel::mediaReportOnlyAfterSoftwares()
{
    Fixture f;
    f.act(QStringLiteral("sctm"));
    f.act(QStringLiteral("g"));
    QCOMPARE(f.kinds(), QStringList{QStringLiteral("media")});
    QCOMPARE(f.form.runs[0].records, f.count(QStringLiteral("select count(*) from cds")));
    // The form lives while its preview is shown, owned by the window, and goes right after.
    QCOMPARE(f.form.runs[0].formsAlive, 1);
    QVERIFY(f.form.findChildren<TForm8 *>().isEmpty());
    QVERIFY(f.allTitles->isChecked());
    QCOMPARE(f.number->text(), QStringLiteral("3"));

    // A medium added since the window opened is in the next media report.
    f.catalogue.exec(QStringLiteral(
        "insert into cds (titulo, obs, tipo, local) values ('Novo', null, 'CD', 'Mesa')"));
    f.act(QStringLiteral("g"));
    QCOMPARE(f.form.runs.size(), 2);
    QCOMPARE(f.form.runs[1].records, f.form.runs[0].records + 1);
}

void TestReportPanel::allSoftwareReport()
{
    Fixture f;
    // A title whose medium does not exist is left out.
    f.catalogue.exec(QStringLiteral(
        "insert into softs (nome, descricao, midia) values ('Sem Mídia', 'perdido', 999)"));
    f.act(QStringLiteral("st"));
    f.act(QStringLiteral("g"));
    QCOMPARE(f.kinds(), QStringList{QStringLiteral("all")});
    const Run &run = f.form.runs[0];
    QCOMPARE(run.records, f.count(QStringLiteral("select count(*) from softs")) - 1);
    QVERIFY(run.records > 0);
    QVERIFY(!run.names.contains(QStringLiteral("Sem Mídia")));
    QVERIFY(!run.media.contains(QString()));
    QCOMPARE(run.formsAlive, 1);
    QVERIFY(f.form.findChildren<TForm9 *>().isEmpty());
}

void TestReportPanel::chosenMediumReport_data()
{
    QTest::addColumn<int>("codigo");
    QTest::newRow("a medium with titles") << 3;
    QTest::newRow("a medium holding none") << 10;
}

void TestReportPanel::chosenMediumReport()
{
    QFETCH(int, codigo);
    Fixture f;
    const QString where = QStringLiteral(" where midia = ") + QString::number(codigo);
    const int expected = f.count(QStringLiteral("select count(*) from softs") + where);
    QCOMPARE(expected > 0, codigo == 3);

    f.act(QStringLiteral("s"));
    f.chooseMedium(codigo);
    QCOMPARE(f.number->text(), QString::number(codigo));
    f.act(QStringLiteral("g"));
    QCOMPARE(f.kinds(), QStringList{QStringLiteral("medium")});
    const Run &run = f.form.runs[0];
    QCOMPARE(run.parameter.typeId(), QMetaType::QString);
    QCOMPARE(run.parameter.toString(), QString::number(codigo));
    QCOMPARE(run.records, expected);
    QCOMPARE(run.media, QStringList(expected, f.list->text()));
}

void TestReportPanel::refreshKeepsTheChosenKey()
{
    Fixture f;
    f.act(QStringLiteral("s"));
    f.chooseMedium(10);
    const int rows = f.list->listModel()->rowCount();

    // A rename and a new medium show after the refresh.
    f.catalogue.exec(QStringLiteral("update cds set titulo = 'Renomeada' where codigo = 10"));
    f.catalogue.exec(QStringLiteral(
        "insert into cds (titulo, obs, tipo, local) values ('Nova', null, 'CD', 'Mesa')"));
    QVERIFY(f.list->text() != QLatin1String("Renomeada"));
    f.refresh->click();
    QCOMPARE(f.list->text(), QStringLiteral("Renomeada"));
    QCOMPARE(f.list->listModel()->rowCount(), rows + 1);

    // A medium deleted after it was chosen: no text, the key and NumeroCD stay, no report.
    f.catalogue.exec(QStringLiteral("delete from cds where codigo = 10"));
    f.refresh->click();
    QCOMPARE(f.list->text(), QString());
    QCOMPARE(f.list->keyValue().toInt(), 10);
    QCOMPARE(f.number->text(), QStringLiteral("10"));
    QVERIFY(f.generate->isEnabled());
    f.act(QStringLiteral("g"));
    QVERIFY(f.form.runs.isEmpty());
    QVERIFY(f.dialogs.boxes.isEmpty());
}

void TestReportPanel::handlersDuringPreview_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("during");
    QTest::addColumn<QStringList>("reports");

    QTest::newRow("left alone, box ticked") << "sct"
                                            << "" << QStringList{QStringLiteral("all")};
    QTest::newRow("box cleared while all titles are shown")
        << "sct"
        << "t" << QStringList{QStringLiteral("all"), QStringLiteral("medium")};
    QTest::newRow("box cleared, no medium shown") << "st"
                                                  << "t" << QStringList{QStringLiteral("all")};
    QTest::newRow("Softwares chosen while the media report is shown")
        << "scm"
        << "s" << QStringList{QStringLiteral("media"), QStringLiteral("medium")};
    QTest::newRow("Gerar Relatório again")
        << "m"
        << "g" << QStringList{QStringLiteral("media"), QStringLiteral("media")};
}

void TestReportPanel::handlersDuringPreview()
{
    QFETCH(QString, before);
    QFETCH(QString, during);
    QFETCH(QStringList, reports);

    Fixture f;
    f.act(before);
    f.form.duringPreview = [&f, during] { f.act(during); };
    f.act(QStringLiteral("g"));
    QCOMPARE(f.kinds(), reports);
    if (reports.last() == QLatin1String("medium")) {
        QCOMPARE(f.form.runs.last().parameter.toString(), QStringLiteral("3"));
        QCOMPARE(f.form.runs.last().records,
                 f.count(QStringLiteral("select count(*) from softs where midia = 3")));
    }
    QVERIFY(f.form.findChildren<TForm8 *>().isEmpty());
    QVERIFY(f.form.findChildren<TForm9 *>().isEmpty());
}

void TestReportPanel::databaseFailureMakesNoReport()
{
    Fixture f;
    f.act(QStringLiteral("sct"));
    f.catalogue.exec(QStringLiteral("drop table softs"));
    f.act(QStringLiteral("g"));
    QVERIFY(f.form.runs.isEmpty());
    QCOMPARE(f.dialogs.boxes.size(), 1);
    QCOMPARE(f.dialogs.boxes[0].icon, Dialogs::Icon::Critical);
    QVERIFY(f.dialogs.boxes[0].text.contains(QLatin1String("softs")));
    QVERIFY(f.form.findChildren<TForm9 *>().isEmpty());
    QVERIFY(f.allTitles->isChecked());
    QVERIFY(f.generate->isEnabled());
}

void TestReportPanel::kindListFollowsTheSoftwareChoices()
{
    Fixture f;
    QVERIFY(!f.shown(f.kindList));
    QVERIFY(!f.shown(f.kindLabel));
    QStringList items;
    for (int i = 0; i < f.kindList->count(); ++i)
        items << f.kindList->itemText(i);
    QCOMPARE(items, (QStringList{u"Todas"_s, u"Software"_s, u"Jogo"_s, u"Filme"_s, u"Música"_s,
                                 u"Documento"_s, u"Outros"_s}));
    QCOMPARE(f.kindList->currentIndex(), 0);
    QCOMPARE(f.kindList->accessibleName(), u"Categoria"_s);
    QCOMPARE(f.kindLabel->buddy(), f.kindList);

    f.act(u"s"_s);
    QVERIFY(f.shown(f.kindList));
    QVERIFY(f.shown(f.kindLabel));
    QVERIFY(f.kindList->isEnabled());
    // Below the media list, inside the panel.
    QVERIFY(f.kindList->y() > f.list->geometry().bottom());
    QVERIFY(f.kindList->parentWidget()->rect().contains(f.kindList->geometry()));
    f.kindList->setCurrentIndex(f.kindList->findText(u"Filme"_s));
    f.act(u"t"_s); // the box leaves the kind alone
    QVERIFY(f.kindList->isEnabled());
    f.act(u"m"_s);
    QVERIFY(!f.shown(f.kindList));
    f.act(u"s"_s);
    QCOMPARE(f.kindList->currentText(), u"Filme"_s);

    // A kind renamed elsewhere shows its new name once the kinds are read again; the choice
    // stays on it.
    f.catalogue.exec(u"update categorias set nome_categoria = 'Cinema' where id_categoria = 3"_s);
    f.dm.ADOQuery7.close();
    f.dm.ADOQuery7.open();
    QCOMPARE(f.kindList->currentText(), u"Cinema"_s);
}

void TestReportPanel::reportRestrictedToOneKind_data()
{
    QTest::addColumn<QString>("actions");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("where");
    QTest::newRow("all titles, one kind") << u"st"_s << u"Jogo"_s << u"categoria = 2"_s;
    QTest::newRow("one medium, one kind")
        << u"sc"_s << u"Jogo"_s << u"categoria = 2 and midia = 3"_s;
    QTest::newRow("all titles, every kind") << u"st"_s << u"Todas"_s << u"1 = 1"_s;
    QTest::newRow("a kind no title has") << u"st"_s << u"Documento"_s << u"categoria = 5"_s;
}

void TestReportPanel::reportRestrictedToOneKind()
{
    QFETCH(QString, actions);
    QFETCH(QString, kind);
    QFETCH(QString, where);
    Fixture f;
    f.catalogue.exec(u"update softs set categoria = 2 where numero % 3 = 0"_s);
    const int expected = f.count(
        u"select count(*) from softs where midia in (select codigo from cds) and "_s + where);
    f.act(actions);
    f.kindList->setCurrentIndex(f.kindList->findText(kind));
    f.act(u"g"_s);
    QCOMPARE(f.form.runs.size(), 1);
    const Run &run = f.form.runs[0];
    QCOMPARE(run.records, expected);
    if (kind == u"Todas") {
        QVERIFY(!run.kindParameter.isValid());
        QVERIFY(run.kindNames.contains(u"Jogo"_s));
        QVERIFY(run.kindNames.contains(u"Software"_s));
    } else {
        QCOMPARE(run.kindParameter.toString(), QString::number(f.kindList->currentData().toInt()));
        QCOMPARE(run.kindNames, QStringList(run.records, kind));
    }
}

QTEST_MAIN(TestReportPanel)
#include "tst_report_panel.moc"
