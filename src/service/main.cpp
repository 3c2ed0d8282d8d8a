#include "RetrieveMailbox.h"
#include "ServiceMain.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    return ServiceMain(QCoreApplication::arguments(), RetrieveMailbox);
}
