#pragma once

#include <string>
#include <vector>

// The notification kit has a namespace of its own: its Listener is not the tracking's
// (Leap::Listener), which the instrument implements.
namespace Kits {

class Broadcaster;
class Observable;

// Told by a Broadcaster each time it broadcasts. A listener must stay alive while it is
// registered, or remove itself first: broadcasters never own their listeners.
class Listener {
public:
    // `sender` is the object that broadcast.
    virtual void Receive(Broadcaster* sender) = 0;

protected:
    ~Listener() = default;
};

// Told by an Observable each time it notifies. Same lifetime rule as Listener.
class Observer {
public:
    // `sender` is the notifying object seen as its Observable part.
    virtual void Notify(Observable* sender) = 0;

protected:
    ~Observer() = default;
};

// A list of listeners, in registration order, without duplicates and not owned. Subclasses
// decide what a broadcast means. Not thread-safe: one thread at a time.
class Broadcaster {
public:
    virtual void Broadcast() = 0;

    // A second registration of the same listener is ignored.
    void AddListener(Listener* listener);
    // Removing a listener that is not registered does nothing; the others keep their order.
    void RemoveListener(Listener* listener);

protected:
    // Not virtual: nothing is ever deleted through a Broadcaster pointer.
    ~Broadcaster() = default;

    std::vector<Listener*> fListeners;
};

// A list of observers, in registration order, without duplicates and not owned.
class Observable {
public:
    virtual void NotifyObservers() = 0;

    void AddObserver(Observer* observer);
    void RemoveObserver(Observer* observer);

protected:
    ~Observable() = default;

    std::vector<Observer*> fObservers;
};

// A named number with an id. Every SetValue tells the observers, then the listeners, then writes
// "name: value" to standard output. Any float is accepted as it is: no range, no clamping.
//
// A broadcast walks the registrations as they were when it began: a callback may add or remove
// registrations (its own or others') without disturbing the walk. One added during a broadcast
// hears from the next SetValue on; one removed during a broadcast is not called again, not even
// by that broadcast, so a callback may remove and delete another listener.
class Parameter final : public Broadcaster, public Observable {
public:
    Parameter(int id, const std::string& name, float value);

    float Value() const { return fValue; }
    std::string Name() const { return fName; }
    int Id() const { return fId; }
    // The console form: name, ": ", the value in the stream's default format (6 significant
    // digits), e.g. "gain: 0.5".
    std::string Text() const;

    void SetValue(float value);

    void Broadcast() override;
    void NotifyObservers() override;

private:
    int fId;
    float fValue;
    std::string fName;
    // Set true and never read: observers are told on every SetValue.
    bool fNotify;
    // When true, SetValue also broadcasts to the listeners.
    bool fBroadcast;
};

// A registry that owns parameters and finds them by id. Ids need not be unique.
class ParameterManager {
public:
    // Null at start; nothing in the program creates a registry for it.
    static ParameterManager* sInstance;

    ParameterManager() = default;
    // Deletes every registered parameter, once each.
    ~ParameterManager();

    // Owning raw pointers: a copy would delete every parameter twice.
    ParameterManager(const ParameterManager&) = delete;
    ParameterManager& operator=(const ParameterManager&) = delete;

    // Takes ownership of `parameter`. A null pointer, or one already registered, is ignored.
    void AddParameter(Parameter* parameter);
    // The first registered parameter with this id, or null.
    Parameter* GetParameter(int id);

private:
    std::vector<Parameter*> fParameters;
};

} // namespace Kits
