// The binding's exceptions: every failed export raises VqhwException, with
// what the library said (code, GBK message) and what it means (status,
// English meaning, hint), as the table of the library's statuses has it.

using System;

namespace Vqhw
{
    /// <summary>An export failed.</summary>
    /// <remarks>Code is what it returned (1 no card; -1 for port and transport
    /// failures; otherwise the status itself); Status the library status the
    /// code stands for (for -1, the message tells which); Text the library's
    /// message of it, decoded from GBK; Meaning the same in English; Hint what
    /// to try (empty where nothing helps); Detail what the binding adds (for
    /// open_reader, the device it tried).</remarks>
    public class VqhwException : Exception
    {
        /// <summary>The export that failed, e.g. "loadkey".</summary>
        public string Call { get; private set; }
        /// <summary>What the export returned.</summary>
        public int Code { get; private set; }
        /// <summary>The library status the result stands for (1 is -101).</summary>
        public int Status { get; private set; }
        /// <summary>The library's message (getvqicerror), decoded from GBK.</summary>
        public string Text { get; private set; }
        /// <summary>The status in English.</summary>
        public string Meaning { get; private set; }
        /// <summary>What to try, or an empty text.</summary>
        public string Hint { get; private set; }
        /// <summary>What the binding adds, e.g. the device open_reader tried; or an empty text.</summary>
        public string Detail { get; private set; }

        /// <summary>The status is found from the code and the message.</summary>
        public VqhwException(string call, int code, string text)
            : this(call, code, text, Statuses.StatusOf(code, text), "") { }

        /// <summary>All fields given; meaning and hint come from the status.</summary>
        public VqhwException(string call, int code, string text, int status, string detail)
            : base(Describe(call, code, text, status, detail))
        {
            Call = call;
            Code = code;
            Status = status;
            Text = text;
            Meaning = Statuses.MeaningOf(status);
            Hint = Statuses.HintOf(status);
            Detail = detail ?? "";
        }

        static string Describe(string call, int code, string text, int status, string detail)
        {
            string line = call + " -> " + code + ": " + text + " (" + Statuses.MeaningOf(status) + ")";
            if (!string.IsNullOrEmpty(detail)) line += "; " + detail;
            string hint = Statuses.HintOf(status);
            return hint.Length == 0 ? line : line + "; " + hint;
        }
    }

    /// <summary>No card in the antenna field (result 1, status -101): lanes poll for it.</summary>
    public class NoCardException : VqhwException
    {
        /// <summary>The text is the library's message.</summary>
        public NoCardException(string call, string text) : base(call, 1, text, Statuses.NoCardStatus, "") { }
    }

    /// <summary>The library's statuses: their messages, English meanings and hints.</summary>
    public static class Statuses
    {
        /// <summary>The status of "no card in the antenna field".</summary>
        public const int NoCardStatus = -101;
        // A result of -1 stands for any of these statuses; the message tells which.
        static readonly int[] statusesOfMinusOne = { -1, -7, -9, -10, -11, -12, -13, -14, -22, -23 };

        /// <summary>The library status that an export's result stands for.</summary>
        public static int StatusOf(int result, string message)
        {
            if (result == 1) return NoCardStatus;
            if (result == -1)
                foreach (int status in statusesOfMinusOne)
                {
                    string[] row;
                    if (StatusTable.Rows.TryGetValue(status, out row) && row[0] == message) return status;
                }
            return result;
        }

        /// <summary>The status in English.</summary>
        public static string MeaningOf(int status)
        {
            string[] row;
            if (StatusTable.Rows.TryGetValue(status, out row)) return row[1];
            if (status >= -355 && status <= -101) return "reader or card status byte " + (status + 356).ToString("X2");
            return "not a status the library gives";
        }

        /// <summary>What to try after the status, or an empty text.</summary>
        public static string HintOf(int status)
        {
            string hint;
            return StatusTable.Hints.TryGetValue(status, out hint) ? hint : "";
        }

        /// <summary>The library's message of a status (its GBK text, decoded).</summary>
        public static string MessageOf(int status)
        {
            string[] row;
            return StatusTable.Rows.TryGetValue(status, out row) ? row[0] : StatusTable.UnknownMessage;
        }
    }
}
