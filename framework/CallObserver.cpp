#include "CallObserver.h"

namespace call_observer
{
CallObserver g_observer = nullptr;
} // namespace call_observer

void SetCallObserver(CallObserver observer)
{
    call_observer::g_observer = observer;
}
