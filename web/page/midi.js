// MIDI out through Web MIDI: the instrument's note rules (page_midi.cpp) decide the messages, this
// sends them to the output the player chose. A page cannot make a port of its own, so it sends to
// one that exists (a synthesiser, a virtual cable); the choice is remembered for the next visit.

const kPortKey = 'quorvel.midi.port';
const kOnKey = 'quorvel.midi.on';
const kTickMs = 100;

function remembering() {
  try {
    return JSON.parse(localStorage.getItem(kPortKey)) || {};
  } catch {
    return {};
  }
}

export class Midi {
  // `say` shows a line to the player; `button` switches MIDI on and off; `select` lists outputs.
  constructor(instrument, say, button, select) {
    this.instrument = instrument;
    this.say = say;
    this.button = button;
    this.select = select;
    this.access = null;
    this.output = null;
    this.on = false;
    this.refused = false;
    this.due = 0; // when the pluck being sent sounds, performance.now() time; 0: now
    this.sent = 0;
    instrument.midi = (status, data1, data2) => this.send([status, data1, data2]);
    button.addEventListener('click', () => this.switchTo(!this.on));
    select.addEventListener('change', () => {
      this.choose(select.value);
      select.blur(); // the keys are the harp's again, not the list's
    });
    // Leaving the page ends every note: a synthesiser left holding them would drone on.
    addEventListener('pagehide', () => this.instrument._quorvel_midi(0));
    setInterval(() => { this.due = 0; this.instrument._quorvel_midi_tick(); }, kTickMs);
    if (localStorage.getItem(kOnKey) === '1') this.switchTo(true);
  }

  // The next messages belong to a pluck that sounds `seconds` from now.
  pluckIn(seconds) {
    this.due = seconds > 0 ? performance.now() + seconds * 1000 : 0;
  }

  send(message) {
    if (!this.output) return;
    try {
      this.output.send(message, this.due);
      ++this.sent;
    } catch (error) {
      this.output = null; // the notes still sounding cannot be ended there any more
      this.say(`MIDI out: ${error.message}`);
      this.stop();
    }
  }

  async switchTo(on) {
    if (!on) {
      localStorage.setItem(kOnKey, '0');
      this.stop();
      return;
    }
    if (this.refused) return; // said once; the page plays on without it
    if (!this.access && !(await this.ask())) return;
    localStorage.setItem(kOnKey, '1');
    this.list();
    const remembered = remembering();
    const outputs = [...this.access.outputs.values()];
    // By id, else by name (a device plugged in elsewhere may get another id), else the first.
    const port = outputs.find((output) => output.id === remembered.id) ||
                 outputs.find((output) => output.name === remembered.name) || outputs[0];
    if (!port) {
      this.say('MIDI is off: no MIDI output to send to');
      return;
    }
    this.choose(port.id);
  }

  async ask() {
    if (!navigator.requestMIDIAccess) {
      this.refuse('this browser has no Web MIDI');
      return false;
    }
    try {
      this.access = await navigator.requestMIDIAccess();
    } catch (error) {
      this.refuse(`no access to MIDI (${error.message || error.name})`);
      return false;
    }
    this.access.onstatechange = () => {
      this.list();
      if (this.output && this.output.state === 'disconnected') {
        this.say(`MIDI out: "${this.output.name}" went away`);
        this.stop();
      }
    };
    return true;
  }

  refuse(why) {
    this.refused = true;
    this.say(`MIDI is off: ${why}`);
  }

  list() {
    const chosen = this.output ? this.output.id : this.select.value;
    this.select.replaceChildren();
    for (const output of this.access.outputs.values())
      this.select.add(new Option(output.name, output.id, false, output.id === chosen));
    this.select.classList.toggle('hidden', this.select.options.length === 0);
  }

  choose(id) {
    const port = this.access && this.access.outputs.get(id);
    if (!port) return;
    this.stop();
    this.output = port;
    this.select.value = id;
    localStorage.setItem(kPortKey, JSON.stringify({ id, name: port.name }));
    this.instrument._quorvel_midi(1);
    this.on = true;
    this.button.textContent = 'MIDI on';
    this.say(`MIDI out: "${port.name}"`);
  }

  // Every sounding note ends on the output it was sent to, then nothing more goes out.
  stop() {
    this.instrument._quorvel_midi(0);
    this.output = null;
    this.on = false;
    this.button.textContent = 'MIDI';
  }
}
