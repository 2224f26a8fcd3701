#include "Instrument.h"

#include "Harp.h"
#include "MidiOut.h"

namespace GLStuff {

void AddString()
{
    Harp::GetInstance()->AddString();
}

void RemoveString()
{
    Harp::GetInstance()->RemoveString();
    MidiOut::GetInstance()->StringsRemain(Harp::GetInstance()->GetNumStrings());
}

} // namespace GLStuff
