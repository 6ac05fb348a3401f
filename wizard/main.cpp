// Program entry. (The wizard window arrives with the frame; until then the
// program only starts its application object.)
#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("KIVO95 Wizard");
    return 0;
}
