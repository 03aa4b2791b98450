// The tree model's queries, checked by Qt's model tester and by the answers the dialog relies on.
#include "FirmwareCatalog.h"
#include "TreeViewModel.h"

#include <QAbstractItemModelTester>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTest>

namespace {

FirmwareInfo record(const QString &id, const QString &c1, const QString &c2, const QString &c3)
{
    FirmwareInfo r;
    r.device_id = id;
    r.category1 = {c1, {c1 + "-name", "", "", "", ""}};
    r.category2 = {c2, {c2 + "-name", "", "", "", ""}};
    r.category3 = {c3, {}};
    return r;
}

// Two first-level rows; the first holds a second-level row with a leaf and a third-level row.
FirmwareCatalog sampleCatalogue()
{
    FirmwareCatalog catalogue;
    catalogue.records = {record("X1", "a", "a2", ""), record("Y1", "a", "a2", "k"),
                         record("Z1", "b", "b2", ""), record("Y2", "a", "a2", "k")};
    catalogue.count = catalogue.records.size();
    return catalogue;
}

} // namespace

class TestTreeViewModel : public QObject
{
    Q_OBJECT

private slots:
    void freshModel_isEmpty();
    void tester_acceptsBuildsAndClears();
    void data_onlyNameAndStateRoles_data();
    void data_onlyNameAndStateRoles();
    void data_column1AnswersLikeColumn0();
    void parent_ofTopLevelIsInvalid_ofChildIsItsRow();
    void rowCount_ofColumn1IsZero();
    void index_outOfRangeIsInvalid();
    void roleNames_addNameAndState();
    void buildAndClear_resetOnce();
    void qml_walksTheTreeThroughTheInvokables();
};

void TestTreeViewModel::freshModel_isEmpty()
{
    TreeViewModel model;
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(!model.index(0, 0).isValid());
    QCOMPARE(model.columnCount(), 2);
    QVERIFY(!model.data(QModelIndex(), TreeViewModel::NAME).isValid());
}

void TestTreeViewModel::tester_acceptsBuildsAndClears()
{
    TreeViewModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const FirmwareCatalog catalogue = sampleCatalogue();
    model.buildTree(catalogue, 0, "*");
    QCOMPARE(model.rowCount(), 2);
    model.buildTree(catalogue, 0, "Y");
    QCOMPARE(model.rowCount(), 1);
    model.buildTree(catalogue, 0, "nothing");
    QCOMPARE(model.rowCount(), 0);
    model.buildTree(catalogue, 0, "*");
    model.clearTree();
    QCOMPARE(model.rowCount(), 0);
}

void TestTreeViewModel::data_onlyNameAndStateRoles_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("name") << int(TreeViewModel::NAME) << QVariant(QString("X1"));
    QTest::newRow("state") << int(TreeViewModel::STATE) << QVariant(0);
    QTest::newRow("display") << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("edit") << int(Qt::EditRole) << QVariant();
    QTest::newRow("user") << int(Qt::UserRole) << QVariant();
    QTest::newRow("259") << int(Qt::UserRole + 3) << QVariant();
}

void TestTreeViewModel::data_onlyNameAndStateRoles()
{
    QFETCH(int, role);
    QFETCH(QVariant, expected);
    TreeViewModel model;
    const FirmwareCatalog catalogue = sampleCatalogue();
    model.buildTree(catalogue, 0, "*");
    const QModelIndex second = model.index(0, 0, model.index(0, 0));
    const QModelIndex leaf = model.index(0, 0, second);
    QCOMPARE(model.data(leaf, role), expected);
}

void TestTreeViewModel::data_column1AnswersLikeColumn0()
{
    TreeViewModel model;
    const FirmwareCatalog catalogue = sampleCatalogue();
    model.buildTree(catalogue, 0, "*");
    const QModelIndex top = model.index(0, 0);
    const QModelIndex second = model.index(0, 0, top);
    for (const QModelIndex &i : {top, second, model.index(1, 0, second)}) {
        const QModelIndex beside = i.sibling(i.row(), 1);
        QVERIFY(beside.isValid());
        QCOMPARE(model.data(beside, TreeViewModel::NAME), model.data(i, TreeViewModel::NAME));
        QCOMPARE(model.data(beside, TreeViewModel::STATE), model.data(i, TreeViewModel::STATE));
    }
    QCOMPARE(model.data(top, TreeViewModel::STATE), QVariant(QString()));
}

void TestTreeViewModel::parent_ofTopLevelIsInvalid_ofChildIsItsRow()
{
    TreeViewModel model;
    const FirmwareCatalog catalogue = sampleCatalogue();
    model.buildTree(catalogue, 0, "*");
    const QModelIndex top = model.index(1, 0);
    QVERIFY(!model.parent(top).isValid());
    const QModelIndex child = model.index(0, 1, top);
    const QModelIndex parent = model.parent(child);
    QCOMPARE(parent.row(), 1);
    QCOMPARE(parent.column(), 0);
    QCOMPARE(parent, top);
    QVERIFY(!model.parent(QModelIndex()).isValid());
}

void TestTreeViewModel::rowCount_ofColumn1IsZero()
{
    TreeViewModel model;
    const FirmwareCatalog catalogue = sampleCatalogue();
    model.buildTree(catalogue, 0, "*");
    const QModelIndex top = model.index(0, 0);
    QCOMPARE(model.rowCount(top), 1);
    QCOMPARE(model.rowCount(model.index(0, 1)), 0);
    QVERIFY(!model.hasChildren(model.index(0, 1)));
}

void TestTreeViewModel::index_outOfRangeIsInvalid()
{
    TreeViewModel model;
    const FirmwareCatalog catalogue = sampleCatalogue();
    model.buildTree(catalogue, 0, "*");
    QVERIFY(!model.index(2, 0).isValid());
    QVERIFY(!model.index(-1, 0).isValid());
    QVERIFY(!model.index(0, 2).isValid());
    QVERIFY(!model.index(0, -1).isValid());
    QVERIFY(!model.index(5, 0, model.index(0, 0)).isValid());
}

void TestTreeViewModel::roleNames_addNameAndState()
{
    TreeViewModel model;
    const QHash<int, QByteArray> names = model.roleNames();
    QCOMPARE(names.value(257), QByteArray("name"));
    QCOMPARE(names.value(258), QByteArray("state"));
    QCOMPARE(names.value(Qt::DisplayRole), QByteArray("display"));
    QCOMPARE(int(TreeViewModel::NAME), 257);
    QCOMPARE(int(TreeViewModel::STATE), 258);
}

void TestTreeViewModel::buildAndClear_resetOnce()
{
    TreeViewModel model;
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserts(&model, &QAbstractItemModel::rowsInserted);
    const FirmwareCatalog catalogue = sampleCatalogue();
    model.buildTree(catalogue, 0, "nothing matches");
    model.buildTree(catalogue, 0, "*");
    model.clearTree();
    QCOMPARE(resets.count(), 3);
    QCOMPARE(inserts.count(), 0);
}

// The selection dialog walks the tree from QML with default arguments left out and reads the
// role numbers from the registered type; a leaf's state must arrive as a number.
void TestTreeViewModel::qml_walksTheTreeThroughTheInvokables()
{
    qmlRegisterType<TreeViewModel>("TreeViewModel", 1, 0, "TreeViewModel");
    TreeViewModel model;
    const FirmwareCatalog catalogue = sampleCatalogue();
    model.buildTree(catalogue, 0, "*");
    QQmlEngine engine;
    engine.rootContext()->setContextProperty("myModel", &model);
    QQmlComponent component(&engine);
    component.setData(R"(
        import QtQml 2.15
        import TreeViewModel 1.0
        QtObject {
            function walk(parent) {
                var out = []
                var n = parent === undefined ? myModel.rowCount() : myModel.rowCount(parent)
                for (var r = 0; r < n; ++r) {
                    var i = parent === undefined ? myModel.index(r, 0) : myModel.index(r, 0, parent)
                    var state = myModel.data(i, TreeViewModel.STATE)
                    var row = myModel.data(i, TreeViewModel.NAME)
                    if (typeof state === "number")
                        row += "=" + state
                    var below = walk(i)
                    out.push(below.length ? row + "{" + below + "}" : row)
                }
                return out.join(",")
            }
            property string tree: walk(undefined)
            property int columns: myModel.columnCount()
            property bool display: myModel.data(myModel.index(0, 0)) === undefined
            property bool outside: myModel.index(9, 0).valid
        })",
                      QUrl());
    QScopedPointer<QObject> root(component.create());
    QVERIFY2(root, qPrintable(component.errorString()));
    QCOMPARE(root->property("tree").toString(),
             QString("a-name{a2-name{X1=0,k{Y1=1,Y2=3}}},b-name{b2-name{Z1=2}}"));
    QCOMPARE(root->property("columns").toInt(), 2);
    QVERIFY(root->property("display").toBool());
    QVERIFY(!root->property("outside").toBool());
}

QTEST_GUILESS_MAIN(TestTreeViewModel)
#include "tst_treeviewmodel.moc"
