#include "cli/commandline.h"

#include "core/log/format.h"

#include <cctype>
#include <map>
#include <memory>

namespace {

// The usage lines of the commands, by command (CLI11's description holds the summary).
std::map<const CLI::App*, std::string>& Usages()
{
    static std::map<const CLI::App*, std::string> usages;
    return usages;
}

const std::string kSuffixMissing = " missing";
const std::string kSuffixOverride = " was given a disallowed flag override";

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A command's help: its usage, what it does, its options and its own commands.
class THelpFormatter : public CLI::Formatter {
public:
    THelpFormatter() { column_width(28); }

    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode mode) const override
    {
        std::string text = CommandUsage(*app);
        std::string explanation = app->get_footer();
        while (!explanation.empty() && explanation.back() == '\n')
            explanation.pop_back();
        if (!explanation.empty())
            text += "\n" + explanation + "\n";
        text += make_groups(app, mode);
        text += make_subcommands(app, mode);
        return text;
    }

    std::string make_option_name(const CLI::Option* option, bool positional) const override
    {
        return positional ? option->get_name(true, false) : option->get_name(false, true);
    }
};

// The deepest command the line chose.
const CLI::App& ChosenCommand(const CLI::App& app)
{
    const CLI::App* command = &app;
    while (!command->get_subcommands().empty())
        command = command->get_subcommands().front();
    return *command;
}

// The command's path from the program on: "pyxet-cli plan make".
std::string CommandPath(const CLI::App& command)
{
    std::string path = command.get_name();
    for (const CLI::App* parent = command.get_parent(); parent; parent = parent->get_parent())
        path = parent->get_name() + " " + path;
    return path;
}

}  // namespace

void Refuse(const std::string& option, const std::string& text) { throw CLI::ValidationError(option, text); }

void Refuse(const std::string& text) { throw CLI::ValidationError(text); }

std::string FieldOption(TSetupField field)
{
    const std::string key = FieldKey(field);
    const auto upper = [&](size_t k) { return k < key.size() && std::isupper(static_cast<unsigned char>(key[k])); };
    const auto lower = [&](size_t k) { return k < key.size() && std::islower(static_cast<unsigned char>(key[k])); };
    std::string option = "--";
    for (size_t k = 0; k < key.size(); ++k) {
        // "HTTPPort": a word begins after a small letter, or at the last capital before a small one.
        if (k > 0 && upper(k) && (lower(k - 1) || (upper(k - 1) && lower(k + 1))))
            option += '-';
        option += static_cast<char>(std::tolower(static_cast<unsigned char>(key[k])));
    }
    return option;
}

const char* FieldOptionValue(TFieldKind kind)
{
    switch (kind) {
    case TFieldKind::Flag: return "0|1";
    case TFieldKind::Text: return "TEXT";
    case TFieldKind::Address: return "ADDR";
    case TFieldKind::Port: break;
    }
    return "N";
}

void CheckFlagOption(const TSetupFieldDef& field, const std::string& value)
{
    if (field.Kind == TFieldKind::Flag && value != "0" && value != "1")
        Refuse(FieldOption(field.Id), Format("takes 0 or 1, not \"%s\"", value.c_str()));
}

CLI::App* AddCommand(CLI::App& parent, const std::string& name, const std::string& summary, const std::string& usage,
                     std::function<std::string()> help)
{
    if (!parent.get_parent())
        parent.formatter(std::make_shared<THelpFormatter>());
    CLI::App* command = parent.add_subcommand(name, summary);
    command->formatter(parent.get_formatter());
    command->allow_extras();  // refused by RefuseUnknownOptions, which names them
    command->footer(std::move(help));
    command->set_help_flag("-h,--help", "shows this help and ends");
    Usages()[command] = usage;
    return command;
}

std::string CommandUsage(const CLI::App& command)
{
    const auto it = Usages().find(&command);
    return it == Usages().end() ? std::string() : it->second;
}

void SetCommandUsage(const CLI::App& command, const std::string& usage) { Usages()[&command] = usage; }

CLI::Option* AddValue(CLI::App& command, const std::string& name, std::optional<std::string>& value,
                      const std::string& label, const std::string& description)
{
    return command
        .add_option_function<std::string>(
            name, [&value](const std::string& given) { value = given; }, description)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->option_text(label);
}

CLI::Option* AddOnce(CLI::App& command, const std::string& name, std::optional<std::string>& value,
                     const std::string& label, const std::string& description)
{
    return command
        .add_option_function<std::vector<std::string>>(
            name,
            [&value, name](const std::vector<std::string>& given) {
                if (given.size() > 1)
                    Refuse(name, "given twice");
                value = given.front();
            },
            description)
        ->allow_extra_args(false)
        ->option_text(label);
}

CLI::Option* AddValues(CLI::App& command, const std::string& name, std::vector<std::string>& values,
                       const std::string& label, const std::string& description)
{
    return command.add_option(name, values, description)->allow_extra_args(false)->option_text(label + " (repeatable)");
}

CLI::Option* AddFlag(CLI::App& command, const std::string& name, bool& flag, const std::string& description)
{
    return command.add_flag(name, flag, description)->disable_flag_override();
}

CLI::Option* AddArguments(CLI::App& command, const std::string& name, std::vector<std::string>& values,
                          const std::string& description)
{
    return command.add_option(name, values, description);
}

std::string TDiscoveryArgs::FirstGiven() const
{
    // CLI11 keeps no order between options: the first in the usage's order.
    if (Wait)
        return "--wait";
    if (!Interfaces.empty())
        return "--interface";
    if (!Targets.empty())
        return "--target";
    if (Repeat)
        return "--repeat";
    return {};
}

void AddDiscoveryOptions(CLI::App& command, TDiscoveryArgs& args)
{
    const std::string group = "Discovery";
    AddValue(command, "--wait", args.Wait, "SECONDS",
             "how long answers are collected after the last request (default 2)")
        ->group(group);
    AddValues(command, "--interface", args.Interfaces, "NAME", "searches through this interface only")->group(group);
    AddValues(command, "--target", args.Targets, "SPEC",
              "also asks an address, a range (10.1.2.10-10.1.2.50) or a CIDR block (10.1.2.0/24) by unicast")
        ->group(group);
    AddValue(command, "--repeat", args.Repeat, "N", "sends each request N times, 250 ms apart (1-5)")->group(group);
}

TDiscoveryOptions ReadDiscoveryOptions(const TDiscoveryArgs& args)
{
    TDiscoveryOptions options;
    std::string error;
    const auto take = [&options, &error](const char* name, const std::string& value) {
        if (!TakeDiscoveryOption(name, value, options, error))
            Refuse(name, error);
    };
    if (args.Wait)
        take("--wait", *args.Wait);
    for (const std::string& name : args.Interfaces)
        take("--interface", name);
    for (const std::string& spec : args.Targets)
        take("--target", spec);
    if (args.Repeat)
        take("--repeat", *args.Repeat);
    return options;
}

void RefuseUnknownOptions(const CLI::App& command)
{
    for (const std::string& arg : command.remaining())
        if (arg != "--" && arg.size() > 1 && arg[0] == '-') {
            const std::string name = arg.substr(0, arg.find('='));
            Refuse(name, Format("unknown option of '%s'", CommandPath(command).c_str()));
        }
}

std::string UsageLines(const std::string& all, const std::string& command)
{
    const std::string start = "pyxet-cli " + command + " ";
    std::string usage;
    bool taking = false;
    size_t from = 0;
    while (from < all.size()) {
        size_t end = all.find('\n', from);
        end = end == std::string::npos ? all.size() : end + 1;
        std::string line = all.substr(from, end - from);
        from = end;
        if (line.compare(0, 7, "usage: ") == 0)
            line = "       " + line.substr(7);
        const size_t text = line.find_first_not_of(' ');
        if (text == std::string::npos)
            continue;
        if (line.compare(text, 10, "pyxet-cli ") == 0)
            taking = line.compare(text, start.size(), start) == 0;
        else if (text == 0)
            taking = false;  // the explanation after the usage lines
        if (!taking)
            continue;
        usage += line;
    }
    if (usage.size() > 7)
        usage.replace(0, 7, "usage: ");
    return usage;
}

std::optional<int> WholeNumber(const std::string& text, int low, int high)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int n = std::stoi(text);
    if (n < low || n > high)
        return std::nullopt;
    return n;
}

std::string CommandLineMistake(const CLI::App& app, const CLI::ParseError& error)
{
    std::string message = error.what();
    // CLI11's own words for the two mistakes it finds itself, in the style of the others.
    if (const auto colon = message.find(": "); dynamic_cast<const CLI::ArgumentMismatch*>(&error)
                                               && colon != std::string::npos && EndsWith(message, kSuffixMissing))
        message = message.substr(0, colon) + ": needs a value";
    else if (EndsWith(message, kSuffixOverride))
        message = (message[0] == '-' ? "" : "--") + message.substr(0, message.size() - kSuffixOverride.size())
                  + ": takes no value";
    const CLI::App& command = ChosenCommand(app);
    std::string text = "pyxet-cli: " + message + "\n" + CommandUsage(command);
    text += "See '" + CommandPath(command) + " --help'.\n";
    return text;
}

std::string CommandHelp(const CLI::App& app)
{
    const CLI::App& command = ChosenCommand(app);
    return command.help(CommandPath(command));
}
