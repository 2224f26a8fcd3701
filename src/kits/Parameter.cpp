#include "src/kits/Parameter.h"

#include <algorithm>
#include <iostream>
#include <locale>
#include <sstream>

#include "src/ConsoleLine.h"

namespace Kits {

namespace {

template <typename T> bool isRegistered(const std::vector<T*>& list, T* entry)
{
    return std::find(list.begin(), list.end(), entry) != list.end();
}

template <typename T> void addUnique(std::vector<T*>& list, T* entry)
{
    if (!isRegistered(list, entry)) {
        list.push_back(entry);
    }
}

template <typename T> void removeEntry(std::vector<T*>& list, T* entry)
{
    auto found = std::find(list.begin(), list.end(), entry);
    if (found != list.end()) {
        list.erase(found);
    }
}

} // namespace

void Broadcaster::AddListener(Listener* listener)
{
    addUnique(fListeners, listener);
}

void Broadcaster::RemoveListener(Listener* listener)
{
    removeEntry(fListeners, listener);
}

void Observable::AddObserver(Observer* observer)
{
    addUnique(fObservers, observer);
}

void Observable::RemoveObserver(Observer* observer)
{
    removeEntry(fObservers, observer);
}

Parameter::Parameter(int id, const std::string& name, float value)
    : fId(id), fValue(value), fName(name), fNotify(true), fBroadcast(true)
{
}

std::string Parameter::Text() const
{
    // A fresh stream, so the format does not depend on what others did to std::cout.
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << fName << ": " << fValue;
    return text.str();
}

void Parameter::SetValue(float value)
{
    fValue = value;
    NotifyObservers();
    if (fBroadcast) {
        Broadcast();
    }
    WriteLine(std::cout, Text());
}

void Parameter::NotifyObservers()
{
    // A copy, so callbacks that register or unregister cannot invalidate the walk; one removed
    // meanwhile may already be deleted, so each is looked up again before it is called.
    const std::vector<Observer*> observers = fObservers;
    for (Observer* observer : observers) {
        if (isRegistered(fObservers, observer)) {
            observer->Notify(this);
        }
    }
}

void Parameter::Broadcast()
{
    const std::vector<Listener*> listeners = fListeners;
    for (Listener* listener : listeners) {
        if (isRegistered(fListeners, listener)) {
            listener->Receive(this);
        }
    }
}

ParameterManager* ParameterManager::sInstance = nullptr;

ParameterManager::~ParameterManager()
{
    for (Parameter* parameter : fParameters) {
        delete parameter;
    }
}

void ParameterManager::AddParameter(Parameter* parameter)
{
    if (parameter != nullptr) {
        addUnique(fParameters, parameter);
    }
}

Parameter* ParameterManager::GetParameter(int id)
{
    for (Parameter* parameter : fParameters) {
        if (parameter->Id() == id) {
            return parameter;
        }
    }
    return nullptr;
}

} // namespace Kits
