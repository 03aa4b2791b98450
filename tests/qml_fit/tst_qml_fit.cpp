// Every text of every shipped language, rendered in its real item, must fit its room.
#include "QmlFixture.h"

#include <QQmlEngine>
#include <QtQuickTest>

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void qmlEngineAvailable(QQmlEngine *engine) { new QmlFixture(engine); }
};

QUICK_TEST_MAIN_WITH_SETUP(qml_fit, Setup)
#include "tst_qml_fit.moc"
