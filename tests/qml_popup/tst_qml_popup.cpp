// The download popup's QML, from the program's resources.
#include "QmlFixture.h"

#include <QQmlEngine>
#include <QtQuickTest>

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void qmlEngineAvailable(QQmlEngine *engine) { new QmlFixture(engine); }
};

QUICK_TEST_MAIN_WITH_SETUP(qml_popup, Setup)
#include "tst_qml_popup.moc"
