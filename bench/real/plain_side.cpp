// SPDX-License-Identifier: GPL-3.0-or-later
// The plain side of the real-program benchmarks: the same work as the program, done the
// plainest way in a Qt Widgets program of its own, started and driven the same way.
//   plain_side startup CATALOGUE   the six start-up statements read, then a window shown
//   plain_side search CATALOGUE    Return in the line edit reads the titles matching it with
//                                  the catalogue's LIKE, in the window's statement, and shows
//                                  them in a plain table
//   plain_side report CATALOGUE    "Gerar Relatório" reads the all-titles join and paints
//                                  its first page's rows
//   plain_side pdf CATALOGUE FILE  "Salvar" paints the media report's pages into QPdfWriter
#include "bench/support/bare_read.h"
#include "bench/support/plain_media_pages.h"
#include "data/engine/sqlite/like.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

const QString mainTitle = QStringLiteral("QUIVEL - Banco de Dados de Aplicativos");

// The program's page cache: a setting, not code (room for the media table and half again).
sqlite3 *openCatalogue(const QByteArray &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT sum(pgsize) FROM dbstat WHERE name = 'cds' AND aggregate = 1",
                       -1, &statement, nullptr);
    long long kib = 0;
    if (statement && sqlite3_step(statement) == SQLITE_ROW)
        kib = sqlite3_column_int64(statement, 0) / 1024;
    sqlite3_finalize(statement);
    kib = std::clamp(kib + kib / 2 + 2000, 2000LL, 512LL * 1024);
    sqlite3_exec(db, ("PRAGMA cache_size = -" + QByteArray::number(kib)).constData(), nullptr,
                 nullptr, nullptr);
    return db;
}

QString textAt(const BareResult &result, size_t column, size_t row)
{
    const BareResult::Column &c = result.columns[column];
    if (c.integer)
        return QString::number(c.integers[row]);
    const size_t begin = row == 0 ? 0 : c.ends[row - 1];
    return QString::fromUtf8(c.arena.data() + begin, qsizetype(c.ends[row] - begin));
}

class ResultModel : public QAbstractTableModel
{
public:
    explicit ResultModel(BareResult result)
        : m_result(std::move(result))
    {}
    int rowCount(const QModelIndex &parent) const override
    {
        return parent.isValid() ? 0 : int(m_result.rows);
    }
    int columnCount(const QModelIndex &parent) const override
    {
        return parent.isValid() ? 0 : int(m_result.columns.size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        return textAt(m_result, size_t(index.column()), size_t(index.row()));
    }

private:
    BareResult m_result;
};

int startup(const QByteArray &path)
{
    static const char *const statements[] = {
        "select * from cds",
        "select * from softs",
        "select * from cds",
        "SELECT numero, nome, midia, descricao, codigo, titulo\nfrom softs, cds\nwhere midia=1 "
        "and codigo=midia",
        "select * from cds",
        "select * from cds"};
    sqlite3 *db = openCatalogue(path);
    std::vector<BareResult> results;
    for (const char *sql : statements)
        results.push_back(bareRead(db, sql));
    QWidget window;
    window.setWindowTitle(mainTitle);
    window.resize(936, 592);
    auto *layout = new QVBoxLayout(&window);
    for (const char *title : {"Cadastros", "Configurações", "Consultas e Relatórios"}) {
        auto *box = new QGroupBox(QString::fromUtf8(title), &window);
        auto *boxLayout = new QVBoxLayout(box);
        boxLayout->addWidget(
            new QLabel(QString::number(results[1].rows) + QStringLiteral(" títulos"), box));
        boxLayout->addWidget(new QPushButton(QStringLiteral("Buscar"), box));
        layout->addWidget(box);
    }
    window.show();
    const int code = QApplication::exec();
    sqlite3_close(db);
    return code;
}

int search(const QByteArray &path)
{
    sqlite3 *db = openCatalogue(path);
    // Letters' case ignored for every letter, as the program's searches do; nothing stops it.
    registerLike(db);
    QWidget window;
    window.setWindowTitle(mainTitle);
    window.resize(936, 592);
    auto *edit = new QLineEdit(&window);
    edit->setObjectName(QStringLiteral("ConsultaSoft"));
    edit->setGeometry(24, 64, 361, 28);
    QObject::connect(edit, &QLineEdit::returnPressed, &window, [&] {
        QByteArray like = edit->text().toUtf8().replace('\'', "''");
        // The window's statement, its columns and joins included, the text in place of
        // its parameter.
        const QByteArray sql = "SELECT numero AS CÓDIGO, nome AS APLICATIVO, descricao AS "
                               "DESCRIÇÃO, nome_categoria AS CATEGORIA, titulo AS MÍDIA, tipo AS "
                               "TIPO_MÍDIA FROM softs LEFT JOIN categorias ON "
                               "categorias.id_categoria = softs.categoria, cds where nome like '%" +
                               like + "%' and softs.midia = cds.codigo";
        QDialog dialog(&window);
        dialog.setWindowTitle(QStringLiteral("Busca - Softwares"));
        dialog.resize(789, 479);
        auto *table = new QTableView(&dialog);
        auto *status = new QLabel(QStringLiteral("AGUARDE... PESQUISANDO..."), &dialog);
        auto *layout = new QVBoxLayout(&dialog);
        layout->addWidget(table);
        layout->addWidget(status);
        ResultModel model(bareRead(db, sql.constData()));
        table->setModel(&model);
        status->setText(QStringLiteral("Concluido!"));
        dialog.exec();
    });
    window.show();
    const int code = QApplication::exec();
    sqlite3_close(db);
    return code;
}

class FirstPage : public QWidget
{
public:
    explicit FirstPage(const BareResult &result)
        : m_result(result)
    {
        setWindowTitle(QStringLiteral("Report Preview : plain"));
        resize(800, 700);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        const size_t rows = std::min<size_t>(m_result.rows, 40);
        for (size_t row = 0; row < rows; ++row) {
            for (size_t c = 0; c < m_result.columns.size(); ++c)
                painter.drawText(QPointF(10 + 150.0 * double(c), 20 + 16.0 * double(row)),
                                 textAt(m_result, c, row));
        }
    }

private:
    const BareResult &m_result;
};

int report(const QByteArray &path)
{
    sqlite3 *db = openCatalogue(path);
    QWidget window;
    window.setWindowTitle(mainTitle);
    window.resize(936, 592);
    auto *generate = new QPushButton(QStringLiteral("Gerar Relatório"), &window);
    generate->setObjectName(QStringLiteral("GeraRelat"));
    generate->setGeometry(328, 384, 161, 41);
    BareResult result;
    std::unique_ptr<FirstPage> page;
    QObject::connect(generate, &QPushButton::clicked, &window, [&] {
        result = bareRead(db, "SELECT numero, nome, midia, descricao, codigo, titulo FROM softs, "
                              "cds where softs.midia = cds.codigo");
        page = std::make_unique<FirstPage>(result);
        page->setAccessibleName(QStringLiteral("Página do relatório"));
        page->show();
    });
    window.show();
    const int code = QApplication::exec();
    page.reset();
    sqlite3_close(db);
    return code;
}

// The media report's pages, each painted as a plain program does.
void paintMediaPages(QPdfWriter &writer, const BareResult &media, const QImage &logo)
{
    const PlainMediaPages plain;
    // select codigo, titulo, tipo, obs, local
    const int records = int(media.rows);
    QPainter painter(&writer);
    const double mm = writer.width() / 210.0;
    for (int page = 0; page < PlainMediaPages::pageCount(records); ++page) {
        if (page > 0)
            writer.newPage();
        plain.paint(painter, mm, logo, page, records, [&](int line, int record) {
            return textAt(media, size_t(line), size_t(record));
        });
    }
    painter.end();
}

int pdf(const QByteArray &path, const QString &output, const QString &logoPath)
{
    sqlite3 *db = openCatalogue(path);
    QWidget window;
    window.setWindowTitle(mainTitle);
    window.resize(936, 592);
    auto *save = new QPushButton(QStringLiteral("Salvar"), &window);
    save->setObjectName(QStringLiteral("Salvar"));
    save->setGeometry(24, 24, 161, 41);
    auto *status = new QLabel(&window);
    status->setObjectName(QStringLiteral("Status"));
    status->setGeometry(24, 80, 400, 24);
    // The program has the report's rows and logo in hand before its save is asked for: they
    // are read here before the click as well.
    const BareResult media = bareRead(db, "select codigo, titulo, tipo, obs, local from cds");
    const QImage logo(logoPath);
    QObject::connect(save, &QPushButton::clicked, &window, [&] {
        {
            QPdfWriter writer(output);
            writer.setPageSize(QPageSize(QPageSize::A4));
            writer.setPageMargins(QMarginsF(0, 0, 0, 0));
            paintMediaPages(writer, media, logo);
        }
        status->setText(QStringLiteral("PDF salvo"));
    });
    window.show();
    const int code = QApplication::exec();
    sqlite3_close(db);
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: plain_side startup|search|report|pdf CATALOGUE [PDF LOGO]\n");
        return 2;
    }
    const QByteArray path = QFile::encodeName(args[2]);
    if (args[1] == u"startup")
        return startup(path);
    if (args[1] == u"search")
        return search(path);
    if (args[1] == u"report")
        return report(path);
    if (args[1] == u"pdf" && args.size() >= 5)
        return pdf(path, args[3], args[4]);
    std::fprintf(stderr, "unknown mode\n");
    return 2;
}
