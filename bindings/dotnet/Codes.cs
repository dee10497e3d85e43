// What a result means: the driver's own codes, and an export's results.
using System.Collections.Generic;

namespace Vltxdrv
{
    public static partial class Codes
    {
        /// <summary>What a result means with no export named: from 0 to 255 the status byte's text,
        /// then " | " and the driver code's text where one shares the number; null outside that range.</summary>
        public static string Meaning(int code)
        {
            string text;
            return DriverMeanings.TryGetValue(code, out text) ? text : null;
        }

        /// <summary>What this result of that export means ("ecf_VendaItem"), every reading that
        /// applies joined by " | " (a status byte and a driver code can share a number);
        /// null when the export cannot give it.</summary>
        public static string Meaning(string export, int result)
        {
            Line[] lines;
            if (!Results.TryGetValue(export, out lines)) return null;
            var texts = new List<string>();
            foreach (Line line in lines)
                if (line.From <= result && result <= line.To) texts.Add(line.Text);
            return texts.Count == 0 ? null : string.Join(" | ", texts);
        }
    }
}
