// The floor of the agent's idle cost: a widget application whose only work is one timer, at
// the period of the agent's own slow watch (the first argument, in ms). bench/agent_pass
// measures it beside the agent over the same minutes: on a virtual machine a wake-up after a
// long rest can cost milliseconds, however little the program then does.
#include <QApplication>
#include <QTimer>

#include <cstdlib>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTimer tick;
    int ticks = 0;
    QObject::connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
    tick.start(argc > 1 ? std::atoi(argv[1]) : 60000);
    return app.exec();
}
