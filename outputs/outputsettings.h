#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <vector>

struct InfluxSettings;
struct MetricsSettings;
struct MqttSettings;

// Where a run goes besides the journal.
enum class OutputKind { Csv, JsonLines, InfluxFile, InfluxHttp, Mqtt, Metrics };

struct OutputField;

// Every output's settings, as `ombrel record`'s options and the window's
// "Live outputs" dialog set them: an empty file name, URL or port turns that
// output off. The window keeps its outputs in the settings file under
// [LiveOutputs], except the passwords, which are kept in a file of their own
// in the user's configuration folder (secretsFile()), readable by the user
// alone; the files are the command line's alone.
struct LiveOutputsSettings {
    QString csvFile;
    QString jsonLinesFile;
    QString influxFile;
    QString mqttUrl;          // mqtt://HOST[:PORT] or mqtts://HOST[:PORT]
    QString mqttUser;
    QString mqttPassword;     // secret
    QString mqttCaFile;
    QString mqttTopic;        // empty: ombrel/<serial>
    bool mqttDiscovery = true;
    QString metricsListen;    // [ADDR:]PORT
    QString influxUrl;
    QString influxDb;
    QString influxUser;       // empty: the URL's user, if any
    QString influxPassword;   // secret: with a user its password, else a token
    QString influxToken;      // secret: a token beside a user

    bool operator==(const LiveOutputsSettings &o) const;
    bool operator!=(const LiveOutputsSettings &o) const { return !(*this == o); }
    // Whether the settings of one output differ.
    bool differs(OutputKind output, const LiveOutputsSettings &o) const;

    static LiveOutputsSettings load();
    // False with the reason when the secrets could not be kept.
    bool save(QString *error) const;
    // <the user's configuration folder>/live-outputs.secrets
    static QString secretsFile();

    // What keeps these settings from being used: the option at fault and
    // why, in the program's language; the same check for the dialog and the
    // command line.
    struct Problem {
        const OutputField *field = nullptr;
        QString words;
        bool unreadable = false;   // a file named in them cannot be read
    };
    bool check(Problem *problem) const;

    // The options a front door was given for some outputs (the command
    // line's --mqtt-topic, Python's mqtt_topic=): `value` gives an option's
    // value when it was given (a switch's: empty), `name` how the front
    // door names it in its words.
    struct Given {
        std::vector<const OutputField *> fields;
        std::function<std::optional<QString>(const OutputField &)> value;
        std::function<QString(const OutputField &)> name;
    };
    // Reads them into these settings (the others left as they are), then
    // checks them: false with the words, which name the option at fault.
    // An option without its output's first one is refused; a secret not
    // given is taken from its environment variable, one given is read from
    // the file it names; a path is made absolute.
    bool read(const Given &given, Problem *problem);

    // Each output's own settings (checked ones: check() first).
    MqttSettings mqtt() const;
    MetricsSettings metrics() const;
    InfluxSettings influx() const;
};

// One option of an output, stated once: its name and help on the command
// line, its label in the "Live outputs" dialog, its key in the settings file
// and the setting it gives.
struct OutputField {
    enum class Value {
        Text,       // trimmed
        Verbatim,   // a user name, as typed
        Path,       // a file's name; the command line makes it absolute
        File,       // an output file, or - for standard output
        Secret,     // the command line reads it from a file or the environment
        Switch,     // no value: sets `flag` (or clears it for "no-…")
    };
    OutputKind output;
    const char *option;       // --option
    const char *valueName;    // in --help; nullptr for a switch
    const char *help;         // in --help
    Value value;
    QString LiveOutputsSettings::*text = nullptr;
    bool LiveOutputsSettings::*flag = nullptr;
    const char *label = nullptr;        // the dialog's ("LiveOutputsDialog"); nullptr: command line only
    const char *placeholder = nullptr;  // the dialog's empty field
    const char *key = nullptr;          // under [LiveOutputs]; nullptr: not kept there
    const char *environment = nullptr;  // a secret's variable when its option is not given

    // The first field of an output is the one that turns it on.
    bool opens() const;
};

const std::vector<OutputField> &outputFields();
// The field of an option (it must be one).
const OutputField &outputField(const char *option);
