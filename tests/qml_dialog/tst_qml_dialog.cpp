// The firmware selection dialog's QML, from the program's resources, with the real controller.
#include "QmlFixture.h"

#include <QQmlEngine>
#include <QtQuickTest>

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void qmlEngineAvailable(QQmlEngine *engine) { new QmlFixture(engine); }
};

QUICK_TEST_MAIN_WITH_SETUP(qml_dialog, Setup)
#include "tst_qml_dialog.moc"
