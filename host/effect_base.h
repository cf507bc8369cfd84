// The two base classes of a VST 2 effect. EffectBase owns the effect record that the host sees and
// turns dispatcher opcodes 0 to 24 into calls of named virtual operations; EffectBaseEx adds the
// extended opcodes 25 to 68. Every operation has a default, so an effect overrides only what it needs.
// Part of the host layer (tinvoicer_host), which knows no product: the product derives from these.
#pragma once

#include <cstdint>

#include "host/effect_record.h"

// Records of the interface that the base classes only pass through; their layout is the host's.
struct VstEvents;
struct VstTimeInfo;
struct VstPinProperties;
struct VstOfflineTask;
struct VstAudioFile;
struct VstVariableIo;
struct VstSpeakerArrangement;
struct VstWindow;
struct VstFileSelect;
struct VstParameterProperties;
struct MidiProgramName;
struct MidiProgramCategory;
struct MidiKeyName;

/// An optional editor object. No effect in this project creates one; the dispatchers forward
/// the editor opcodes to it when it exists and answer 0 when it does not.
class EffectEditor {
public:
    virtual ~EffectEditor() = default;
    virtual int32_t getRect(void* rect) = 0;
    virtual int32_t open(void* parentWindow) = 0;
    virtual void close() = 0;
    virtual void idle() = 0;
    virtual void unusedEditorOperation1() {}
    virtual void unusedEditorOperation2() {}
    virtual int32_t keyDown(VstKeyCode& key) = 0;
    virtual int32_t keyUp(VstKeyCode& key) = 0;
    virtual int32_t setKnobMode(int32_t mode) = 0;
};

// The operations keep their numbers in one column, which the formatter would not keep.
// clang-format off
/// Base effect: owns the record, answers opcodes 0 to 24, and sends the basic host requests.
/// Not copyable: the record's `object` field points at this very object.
/// Threads: the processing operations run on the host's audio thread; every other operation may
/// come from one other thread while they run, so whatever an effect shares between the two sides
/// must be safe for that (the defaults here share nothing). close() is followed by the destructor.
class EffectBase {
public:
    /// Fills the record (counts, magic, entries, defaults). `host` may be null: every host request
    /// then becomes a no-op with a fixed answer.
    EffectBase(audioMasterCallback host, int32_t programCount, int32_t paramCount);
    EffectBase(const EffectBase&) = delete;
    EffectBase& operator=(const EffectBase&) = delete;

    virtual ~EffectBase();                                                        // 0
    virtual void setParameter(int32_t index, float value);                       // 1
    virtual float getParameter(int32_t index);                                   // 2
    /// Sets the parameter, then tells the host (so the host hears of a change already taken over).
    virtual void setParameterAutomated(int32_t index, float value);              // 3
    virtual void process(float** inputs, float** outputs, int32_t sampleFrames) = 0;  // 4
    virtual void processReplacing(float** inputs, float** outputs, int32_t sampleFrames);  // 5
    /// Opcodes 0 to 24; any other opcode returns 0 and calls nothing.
    virtual intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);  // 6
    virtual void open();                                                          // 7
    virtual void close();                                                         // 8
    virtual int32_t getProgram();                                                 // 9
    virtual void setProgram(int32_t program);                                     // 10
    virtual void setProgramName(char* name);                                      // 11
    virtual void getProgramName(char* name);                                      // 12
    virtual void getParamLabel(int32_t index, char* label);                       // 13
    virtual void getParamDisplay(int32_t index, char* text);                      // 14
    virtual void getParamName(int32_t index, char* text);                         // 15
    virtual float getVu();                                                        // 16
    virtual int32_t getChunk(void** data, bool isPreset);                         // 17
    virtual int32_t setChunk(void* data, int32_t byteSize, bool isPreset);        // 18
    virtual void setSampleRate(float sampleRateHz);                               // 19
    virtual void setBlockSize(int32_t blockFrames);                               // 20
    virtual void suspend();                                                       // 21
    virtual void resume();                                                        // 22
    virtual void setUniqueID(int32_t id);                                         // 23
    virtual void setNumInputs(int32_t count);                                     // 24
    virtual void setNumOutputs(int32_t count);                                    // 25
    virtual void setHasVu(bool state);                                            // 26
    virtual void setHasClip(bool state);                                          // 27
    virtual void setCanMono(bool state);                                          // 28
    virtual void setCanReplacing(bool state);                                     // 29
    virtual void setProgramChunks(bool state);                                    // 30
    virtual void setRealQualities(int32_t value);                                 // 31
    virtual void setOffQualities(int32_t value);                                  // 32
    virtual void setInitialDelay(int32_t samples);                                // 33
    virtual float getSampleRate();                                                // 34
    virtual int32_t getBlockSize();                                               // 35
    /// The host's interface version; never 0 (a 0 answer, or no host, gives 1).
    virtual int32_t hostVersion();                                                // 36
    virtual int32_t currentId();                                                  // 37
    virtual void hostIdle();                                                      // 38
    /// True when the host answers 0: the pin requests answer the opposite way to the others.
    virtual bool inputPinConnected(int32_t pin);                                  // 39
    virtual bool outputPinConnected(int32_t pin);                                 // 40

    // Value-to-text helpers: each writes at most 8 characters and a terminating zero (9 bytes).
    /// A linear amplitude factor in decibels; "  -oo   " for 0 and below, " Huge!  " for +inf.
    virtual void dbToText(float value, char* text);                               // 41
    /// A period in samples as a frequency in Hz at the stored sample rate.
    virtual void hzToText(float samples, char* text);                             // 42
    /// A duration in samples as milliseconds at the stored sample rate (" Huge!  " at rate 0).
    virtual void msToText(float samples, char* text);                             // 43
    /// Fixed-point text of exactly 8 characters, digits cut (not rounded), -0 as 0.000000.
    /// Whole numbers of 8 digits, and negative ones of 7, show without the decimal point.
    /// " Huge!  " above 99999999 or below -9999999; "  NaN   " for not-a-number.
    virtual void floatToText(float value, char* text);                            // 44
    /// Right-aligned in 7 places; " Huge!  " above 99999999 and below -9999999.
    virtual void integerToText(int32_t value, char* text);                        // 45

    /// The record handed to the host; it lives inside this object.
    AEffect* record() { return &effectRecord; }

protected:
    /// Dispatcher opcodes 0 to 24, as EffectBaseEx calls it for every opcode it does not handle.
    intptr_t dispatchBasic(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
    /// Sends one request through the host callback; `fallback` without a callback.
    intptr_t callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt,
                      intptr_t fallback);
    void setFlag(int32_t bit, bool state);

    float sampleRate = 44100.0f;
    EffectEditor* editor = nullptr;  ///< owned; never attached in this project
    audioMasterCallback audioMaster;
    int32_t numPrograms;
    int32_t numParams;
    int32_t curProgram = 0;
    int32_t blockSize = 1024;
    AEffect effectRecord;
};

/// Extended effect: answers opcodes 25 to 68 and sends the extended host requests.
class EffectBaseEx : public EffectBase {
public:
    EffectBaseEx(audioMasterCallback host, int32_t programCount, int32_t paramCount);
    ~EffectBaseEx() override;
    /// Opcodes 25 to 68; every other opcode goes to EffectBase's dispatcher.
    intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) override;

    virtual EffectEditor* getEditor();                                            // 46
    virtual void wantMidi(int32_t filter);                                        // 47
    virtual VstTimeInfo* getTime(int32_t filter);                                 // 48
    virtual int32_t tempoAt(int32_t position);                                    // 49
    virtual int32_t processEvents(VstEvents* events);                             // 50
    virtual int32_t getNumAutomatableParameters();                                // 51
    virtual int32_t getParameterQuantization();                                   // 52
    virtual bool canBeAutomated(int32_t index);                                   // 53
    virtual bool string2Parameter(int32_t index, char* text);                     // 54
    virtual float unusedOperation55(int32_t first, int32_t second);               // 55
    virtual int32_t getNumProgramCategories();                                    // 56
    virtual bool getProgramNameIndexed(int32_t category, int32_t index, char* text);  // 57
    virtual bool copyProgram(int32_t destination);                                // 58
    virtual bool ioChanged();                                                     // 59
    virtual bool needIdle();                                                      // 60
    virtual bool sizeWindow(int32_t width, int32_t height);                       // 61
    /// Asks the host, then returns `sampleRate` as it stands after the call.
    virtual float hostGetSampleRate();                                            // 62
    /// Asks the host, then returns `blockSize` as it stands after the call.
    virtual int32_t hostGetBlockSize();                                           // 63
    virtual int32_t getInputLatency();                                            // 64
    virtual int32_t getOutputLatency();                                           // 65
    virtual AEffect* getPreviousPlug(int32_t pin);                                // 66
    virtual AEffect* getNextPlug(int32_t pin);                                    // 67
    virtual void connectInput(int32_t index, bool state);                         // 68
    virtual void connectOutput(int32_t index, bool state);                        // 69
    virtual bool getInputProperties(int32_t index, VstPinProperties* properties);   // 70
    virtual bool getOutputProperties(int32_t index, VstPinProperties* properties);  // 71
    virtual int32_t getPlugCategory();                                            // 72
    virtual int32_t willReplaceOrAccumulate();                                    // 73
    virtual int32_t getCurrentProcessLevel();                                     // 74
    virtual int32_t getAutomationState();                                         // 75
    virtual void setExtIsAsync(bool state);                                       // 76
    virtual void setExtHasBuffer(bool state);                                     // 77
    virtual int32_t getCurrentPosition();                                         // 78
    virtual float* getDestinationBuffer();                                        // 79
    virtual bool offlineRead(VstOfflineTask* task, int32_t option, bool readSource);  // 80
    virtual bool offlineWrite(VstOfflineTask* task, int32_t option);              // 81
    virtual bool offlineStart(VstAudioFile* files, int32_t numAudioFiles, int32_t numNewAudioFiles);  // 82
    virtual int32_t offlineGetCurrentPass();                                      // 83
    virtual int32_t offlineGetCurrentMetaPass();                                  // 84
    virtual bool offlineNotify(VstAudioFile* files, int32_t count, bool start);   // 85
    virtual bool offlinePrepare(VstOfflineTask* tasks, int32_t count);            // 86
    virtual bool offlineRun(VstOfflineTask* tasks, int32_t count);                // 87
    virtual int32_t unusedOperation88();                                          // 88
    virtual int32_t unusedOperation89();                                          // 89
    virtual void setOutputSampleRate(float sampleRateHz);                         // 90
    virtual bool getSpeakerArrangement(void* input, void* output);                // 91
    virtual bool hostGetVendorString(char* text);                                 // 92
    virtual bool hostGetProductString(char* text);                                // 93
    virtual int32_t hostGetVendorVersion();                                       // 94
    virtual intptr_t hostVendorSpecific(int32_t index, intptr_t value, void* ptr, float opt);  // 95
    virtual int32_t hostCanDo(char* text);                                        // 96
    virtual void setIsSynth(bool state);                                          // 97
    virtual void setNoSoundInStop(bool state);                                    // 98
    virtual int32_t getLanguage();                                                // 99
    virtual void* openWindow(VstWindow* window);                                  // 100
    virtual bool closeWindow(VstWindow* window);                                  // 101
    virtual void* getDirectory();                                                 // 102
    virtual bool updateDisplay();                                                 // 103
    virtual bool processVarIo(VstVariableIo* io);                                 // 104
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* input, VstSpeakerArrangement* output);  // 105
    virtual void setBlockSizeAndSampleRate(int32_t blockFrames, float sampleRateHz);  // 106
    virtual bool setBypass(bool bypass);                                          // 107
    virtual bool getEffectName(char* text);                                       // 108
    virtual bool getErrorText(char* text);                                        // 109
    virtual bool getVendorString(char* text);                                     // 110
    virtual bool getProductString(char* text);                                    // 111
    virtual int32_t getVendorVersion();                                           // 112
    virtual intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt);  // 113
    virtual int32_t canDo(char* text);                                            // 114
    virtual void* getIcon();                                                      // 115
    virtual bool setViewPosition(int32_t x, int32_t y);                           // 116
    virtual int32_t getTailSize();                                                // 117
    virtual int32_t idle();                                                       // 118
    virtual bool getParameterProperties(int32_t index, VstParameterProperties* properties);  // 119
    virtual bool keysRequired();                                                  // 120
    virtual int32_t getVstVersion();                                              // 121
    virtual int32_t getMidiProgramName(int32_t channel, MidiProgramName* name);   // 122
    virtual int32_t getCurrentMidiProgram(int32_t channel, MidiProgramName* name);  // 123
    virtual int32_t getMidiProgramCategory(int32_t channel, MidiProgramCategory* category);  // 124
    virtual bool hasMidiProgramsChanged(int32_t channel);                         // 125
    virtual bool getMidiKeyName(int32_t channel, MidiKeyName* keyName);           // 126
    virtual bool beginSetProgram();                                               // 127
    virtual bool endSetProgram();                                                 // 128
    virtual bool beginEdit(int32_t index);                                        // 129
    virtual bool endEdit(int32_t index);                                          // 130
    /// False without asking the host when `select` is null.
    virtual bool openFileSelector(VstFileSelect* select);                         // 131

private:
    intptr_t dispatchExtended(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
    intptr_t dispatchEditorKey(int32_t opcode, int32_t index, intptr_t value, float opt);
};
// clang-format on
