// A lane's two transactions through the VqhwLib package, on port 1:
//   Lane.exe entry      the MIFARE ONE entry record
//   Lane.exe purchase   the toll from the CPU card's electronic purse
// The keys and cards are those of the virtual reader's field files:
// `vqhw-sim --field sim/examples/lane.json` for entry (sector 1: key A
// A0A1A2A3A4A5 reads, key B B0B1B2B3B4B5 writes), `vqhw-sim --field
// sim/examples/cpu-card.json` for purchase (a purse of 250.00, a PSAM).
// Point VQHW_COM1 at the path vqhw-sim prints. Exit code 0 on success; a
// failure prints the exception (code, status, message, meaning, hint).

using System;
using System.Linq;
using System.Threading;
using Vqhw;

static class Lane
{
    const int Port = 1;
    const uint Amount = 1500;  // the toll in fen (cents): 15.00

    static byte[] Hex(string text) { return Codecs.FromHex(text); }
    static byte[] Join(params byte[][] parts) { return parts.SelectMany(part => part).ToArray(); }
    static byte[] Slice(byte[] bytes, int start, int count) { return bytes.Skip(start).Take(count).ToArray(); }
    static byte[] BigEndian(uint value, int size)
    {
        return Enumerable.Range(0, size).Select(i => (byte)(value >> (8 * (size - 1 - i)))).ToArray();
    }
    static uint Number(byte[] bytes) { return bytes.Aggregate(0u, (value, b) => value << 8 | b); }

    static byte[] WaitForCard(Reader reader)  // serial (4 bytes), then the SAK
    {
        while (true)
        {
            try { return reader.OpenCard(); }
            catch (NoCardException) { Thread.Sleep(200); }
        }
    }

    static void Entry(Reader reader)
    {
        byte[] card = WaitForCard(reader);
        Console.WriteLine("card " + Codecs.ToHex(Slice(card, 0, 4)) + ", SAK " + card[4].ToString("X2"));
        reader.LoadKey(Reader.KeyA, 1, Hex("A0A1A2A3A4A5"));
        Console.WriteLine("entry record " + Codecs.ToHex(reader.ReadBlock(4)));
        // Station 0042, lane 07, entry, vehicle class 1, then the BCD date and time.
        byte[] record = new byte[16];
        Hex("0042070101" + DateTime.Now.ToString("yyyyMMddHHmmss")).CopyTo(record, 0);
        reader.LoadKey(Reader.KeyB, 1, Hex("B0B1B2B3B4B5"));
        reader.WriteBlock(5, record);
        if (!reader.ReadBlock(5).SequenceEqual(record)) throw new Exception("the record read back differs");
        Console.WriteLine("written to block 5 " + Codecs.ToHex(record));
        reader.CloseCard();
    }

    static byte[] Ok(ApduReply reply, string what)  // the data of a reply that must end in 90 00
    {
        if (!reply.Ok) throw new Exception(what + ": the card answered SW " + reply.StatusWord.ToString("X4"));
        return reply.Data;
    }

    // A PSAM on contacts answers 61 xx: the data is fetched with GET RESPONSE.
    static byte[] Psam(Reader reader, byte[] command, string what)
    {
        ApduReply reply = reader.PsamApdu(command);
        if (reply.StatusWord >> 8 == 0x61)
            reply = reader.PsamApdu(new byte[] { 0x00, 0xC0, 0x00, 0x00, (byte)reply.StatusWord });
        return Ok(reply, what);
    }

    static void Purchase(Reader reader)
    {
        byte[] card = WaitForCard(reader);
        Console.WriteLine("card " + Codecs.ToHex(Slice(card, 0, 4)) + ", SAK " + card[4].ToString("X2"));
        Ok(reader.CpuCardApdu(Hex("00A4040006A00000099901")), "SELECT the toll application");
        byte[] issuer = Ok(reader.CpuCardApdu(Hex("00B0950000")), "READ BINARY EF 0015");  // 30 bytes
        byte[] terminal = Psam(reader, Hex("00B0960006"), "READ BINARY the terminal number");  // 6 bytes
        Psam(reader, Hex("00A40000021001"), "SELECT the PSAM's purchase application");

        // INITIALIZE FOR PURCHASE: key index 01, amount (4), terminal number (6).
        byte[] start = Ok(reader.CpuCardApdu(Join(Hex("805001020B01"), BigEndian(Amount, 4), terminal, Hex("0F"))),
                          "INITIALIZE FOR PURCHASE");
        uint balance = Number(Slice(start, 0, 4));  // 4 balance
        byte[] counter = Slice(start, 4, 2);        // 2 offline transaction counter, 3 overdraft limit
        byte keyVersion = start[9], algorithm = start[10];
        byte[] random = Slice(start, 11, 4);        // 4 pseudo-random number
        Console.WriteLine("balance " + (balance / 100.0).ToString("F2") + ", counter " + Number(counter));

        // MAC1 from the PSAM: 36 bytes of input.
        string now = DateTime.Now.ToString("yyyyMMddHHmmss");
        byte[] date = Hex(now.Substring(0, 8)), time = Hex(now.Substring(8));  // BCD: 4 and 3 bytes
        byte[] mac1Input = Join(random, counter, BigEndian(Amount, 4), new byte[] { 0x06 },  // 06: purchase
                                date, time, new[] { keyVersion, algorithm },
                                Slice(issuer, 12, 8), Slice(issuer, 0, 8));  // serial's last 8, issuer
        byte[] mac1Reply = Psam(reader, Join(Hex("8070000024"), mac1Input, Hex("08")), "MAC1");
        byte[] terminalSerial = Slice(mac1Reply, 0, 4), mac1 = Slice(mac1Reply, 4, 4);

        // DEBIT FOR PURCHASE: terminal serial (4), date (4), time (3), MAC1 (4).
        byte[] debit = Ok(reader.CpuCardApdu(Join(Hex("805401000F"), terminalSerial, date, time, mac1, Hex("08"))),
                          "DEBIT FOR PURCHASE");
        byte[] tac = Slice(debit, 0, 4), mac2 = Slice(debit, 4, 4);
        Psam(reader, Join(Hex("8072000004"), mac2), "the PSAM's check of MAC2");
        uint after = Number(Ok(reader.CpuCardApdu(Hex("805C000204")), "GET BALANCE"));
        Console.WriteLine("paid " + (Amount / 100.0).ToString("F2") + ": balance " + (after / 100.0).ToString("F2") +
                          ", TAC " + Codecs.ToHex(tac));
        reader.CloseCard();
    }

    static int Main(string[] arguments)
    {
        string transaction = arguments.Length > 0 ? arguments[0] : "";
        if (transaction != "entry" && transaction != "purchase")
        {
            Console.Error.WriteLine("usage: Lane.exe entry|purchase");
            return 64;
        }
        try
        {
            using (var reader = new Reader(Port))
            {
                if (transaction == "entry") Entry(reader); else Purchase(reader);
            }
            return 0;
        }
        catch (VqhwException error)
        {
            Console.Error.WriteLine("failed: " + error.Message);
            return 1;
        }
        catch (DllNotFoundException error)
        {
            Console.Error.WriteLine("failed: " + error.Message);
            return 1;
        }
    }
}
