#include "idllinstance.h"

IDllInstance::IDllInstance(const QString& name)
    : m_name(name)
{
}

IDllInstance::~IDllInstance() = default;

bool IDllInstance::Start()
{
    return true;
}

void IDllInstance::Stop()
{
}

void IDllInstance::Refresh()
{
}
