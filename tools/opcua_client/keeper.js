// The OPC UA client of a test run (tools/winerun.sh --opcua): node-opcua's
// client, an implementation independent of the program's, run on Linux and
// driven by the Windows-side test's commands.
//
// Usage: node keeper.js --owner PID DIR
// At start it makes two client identities, "trusted" and "untrusted", each
// with its own self-signed certificate (DIR/trusted.der, DIR/untrusted.der:
// the test puts the first where the server trusts it), then writes
// DIR/ready. It ends when the owner has gone.
//
// A command is a file DIR/commands/ID.json (written elsewhere and renamed
// into place); its answer is DIR/answers/ID.txt, renamed into place: a first
// line "done" or "failed ERROR", then the lines of the result. Every command
// names the connection: {"url", "policy": "None"|"Basic256Sha256", "mode":
// "None"|"Sign"|"SignAndEncrypt", "identity": "trusted"|"untrusted",
// "user", "password"} (no user: anonymous), and one of:
//   {"op": "connect"}                 a session opened and closed
//   {"op": "browse", "node": ID}      a line per reference: BROWSE_NAME NODE_ID
//   {"op": "read", "nodes": [ID...]}  a line per node:
//                                     STATUS SOURCE_MS SERVER_MS VALUE
//   {"op": "subscribe", "nodes": [ID...], "timeoutMs": T}
//                                     data changes, a line each:
//                                     NODE_ID STATUS SOURCE_MS ARRIVED_MS VALUE
//                                     (every reading: trigger
//                                     StatusValueTimestamp, sampling 0, a
//                                     queue). Once the items are created,
//                                     DIR/answers/ID.started appears; each
//                                     change is appended to ID.changes as it
//                                     comes; the subscription ends when
//                                     DIR/commands/ID.stop appears, or after T
//                                     ms, and the answer holds every change
//                                     (with "record": false, only
//                                     "count=N", for a load of many items).
//   {"op": "churn", "times": N}       N sessions opened and dropped, half of
//                                     them without closing: "failed=K"
//   {"op": "garbage", "port": P, "bytes": N}
//                                     N random bytes sent to the port: "closed"
//                                     once the server closed the connection,
//                                     "open" if it had not 5 s later
// VALUE is the rest of the line (JSON of the value; "null" for none); times
// are milliseconds since 1970, "-" when absent.
"use strict";

const fs = require("fs");
const net = require("net");
const path = require("path");
const crypto = require("crypto");
const {
  OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds, ClientSubscription,
  ClientMonitoredItemGroup, TimestampsToReturn, DataChangeFilter, DataChangeTrigger,
  DeadbandType, UserTokenType,
} = require("node-opcua-client");
const { OPCUACertificateManager } = require("node-opcua-certificate-manager");

function fail(text) {
  process.stderr.write(`opcua-keeper: ${text}\n`);
  process.exit(2);
}

const args = process.argv.slice(2);
const ownerAt = args.indexOf("--owner");
if (ownerAt < 0 || args.length !== 3) fail("usage: keeper.js --owner PID DIR");
const owner = Number(args[ownerAt + 1]);
const dir = path.resolve(args.filter((_, i) => i !== ownerAt && i !== ownerAt + 1)[0]);
fs.mkdirSync(path.join(dir, "commands"), { recursive: true });
fs.mkdirSync(path.join(dir, "answers"), { recursive: true });

function writeAtomically(file, text) {
  fs.writeFileSync(`${file}.tmp`, text);
  fs.renameSync(`${file}.tmp`, file);
}

const identities = {};

async function makeIdentity(name) {
  const root = path.join(dir, `pki-${name}`);
  const manager = new OPCUACertificateManager({
    rootFolder: root, automaticallyAcceptUnknownCertificate: true,
  });
  await manager.initialize();
  const certificateFile = path.join(root, "own", "certs", "client.pem");
  const privateKeyFile = path.join(root, "own", "private", "private_key.pem");
  const applicationUri = `urn:quorvel-test:${name}`;
  if (!fs.existsSync(certificateFile)) {
    await manager.createSelfSignedCertificate({
      applicationUri, subject: `/CN=Quorvel test ${name}`, dns: ["localhost"],
      startDate: new Date(Date.now() - 86400000), validity: 365, outputFile: certificateFile,
    });
  }
  const pem = fs.readFileSync(certificateFile, "ascii");
  const der = Buffer.from(pem.replace(/-----[^-]+-----/g, "").replace(/\s+/g, ""), "base64");
  fs.writeFileSync(path.join(dir, `${name}.der`), der);
  identities[name] = { manager, certificateFile, privateKeyFile, applicationUri };
}

function clientOf(c) {
  const identity = identities[c.identity || "trusted"];
  return OPCUAClient.create({
    applicationName: "QuorvelTest", applicationUri: identity.applicationUri,
    clientCertificateManager: identity.manager, certificateFile: identity.certificateFile,
    privateKeyFile: identity.privateKeyFile,
    securityMode: MessageSecurityMode[c.mode || "None"],
    securityPolicy: SecurityPolicy[c.policy || "None"],
    endpointMustExist: false, connectionStrategy: { maxRetry: 0, initialDelay: 100 },
    requestedSessionTimeout: 60000,
  });
}

function userOf(c) {
  return c.user ? { type: UserTokenType.UserName, userName: c.user, password: c.password || "" }
                : { type: UserTokenType.Anonymous };
}

async function withSession(c, work) {
  const client = clientOf(c);
  await client.connect(c.url);
  try {
    const session = await client.createSession(userOf(c));
    try {
      return await work(session);
    } finally {
      await session.close().catch(() => {});
    }
  } finally {
    await client.disconnect().catch(() => {});
  }
}

function ms(date) {
  return date ? String(date.getTime()) : "-";
}

function valueText(dv) {
  const v = dv.value && dv.value.value !== undefined ? dv.value.value : null;
  return JSON.stringify(v);
}

async function subscribe(session, c, id) {
  const subscription = ClientSubscription.create(session, {
    requestedPublishingInterval: 10, requestedLifetimeCount: 6000, requestedMaxKeepAliveCount: 20,
    maxNotificationsPerPublish: 0, publishingEnabled: true, priority: 10,
  });
  await new Promise((resolve) => subscription.on("started", resolve));
  const changes = [];
  const filter = new DataChangeFilter({
    trigger: DataChangeTrigger.StatusValueTimestamp, deadbandType: DeadbandType.None,
  });
  const group = ClientMonitoredItemGroup.create(
    subscription, c.nodes.map((nodeId) => ({ nodeId, attributeId: AttributeIds.Value })),
    { samplingInterval: 0, discardOldest: false, queueSize: 1000, filter },
    TimestampsToReturn.Both);
  const initialized = new Promise((resolve) => group.on("initialized", resolve));
  const changesFile = path.join(dir, "answers", `${id}.changes`);
  fs.writeFileSync(changesFile, "");
  let counted = 0;
  group.on("changed", (item, dv) => {
    ++counted;
    if (c.record === false) return;
    const line = `${item.itemToMonitor.nodeId.toString()} ${dv.statusCode.name} ` +
                 `${ms(dv.sourceTimestamp)} ${Date.now()} ${valueText(dv)}`;
    changes.push(line);
    fs.appendFileSync(changesFile, `${line}\n`);
  });
  await initialized;
  writeAtomically(path.join(dir, "answers", `${id}.started`), "started\n");
  const stopFile = path.join(dir, "commands", `${id}.stop`);
  const until = Date.now() + (c.timeoutMs || 60000);
  while (!fs.existsSync(stopFile) && Date.now() < until) {
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  fs.rmSync(stopFile, { force: true });
  await subscription.terminate().catch(() => {});
  return c.record === false ? [`count=${counted}`] : changes;
}

async function run(c, id) {
  switch (c.op) {
    case "connect":
      return withSession(c, async () => []);
    case "browse":
      return withSession(c, async (session) => {
        const result = await session.browse(c.node);
        return result.references.map((r) => `${r.browseName.name} ${r.nodeId.toString()}`);
      });
    case "read":
      return withSession(c, async (session) => {
        const values = await session.read(
          c.nodes.map((nodeId) => ({ nodeId, attributeId: AttributeIds.Value })),
          TimestampsToReturn.Both);
        return values.map((dv) => `${dv.statusCode.name} ${ms(dv.sourceTimestamp)} ` +
                                  `${ms(dv.serverTimestamp)} ${valueText(dv)}`);
      });
    case "subscribe":
      return withSession(c, (session) => subscribe(session, c, id));
    case "churn": {
      let failed = 0;
      for (let i = 0; i < c.times; ++i) {
        const client = clientOf(c);
        try {
          await client.connect(c.url);
          const session = await client.createSession(userOf(c));
          if (i % 2 === 0) await session.close();
        } catch (e) {
          ++failed;
        }
        // Dropped without a goodbye every other time.
        await client.disconnect().catch(() => {});
      }
      return [`failed=${failed}`];
    }
    case "garbage":
      // Done when the server has closed the connection, or 5 s after the
      // bytes went out if it has not: "open" then.
      return new Promise((resolve) => {
        let timer = null;
        const socket = net.connect(c.port, "127.0.0.1", () => {
          socket.end(crypto.randomBytes(c.bytes || 65536), () => {
            timer = setTimeout(() => { socket.destroy(); resolve(["open"]); }, 5000);
          });
        });
        socket.on("error", () => {});
        socket.on("close", () => { clearTimeout(timer); resolve(["closed"]); });
      });
    default:
      throw new Error(`unknown op ${c.op}`);
  }
}

async function main() {
  await makeIdentity("trusted");
  await makeIdentity("untrusted");
  writeAtomically(path.join(dir, "ready"), "ready\n");
  for (;;) {
    try {
      process.kill(owner, 0);
    } catch (e) {
      process.exit(0);
    }
    for (const name of fs.readdirSync(path.join(dir, "commands"))) {
      if (!name.endsWith(".json")) continue;
      const id = name.slice(0, -5);
      const file = path.join(dir, "commands", name);
      let answer;
      try {
        const lines = await run(JSON.parse(fs.readFileSync(file, "utf8")), id);
        answer = ["done", ...lines].join("\n") + "\n";
      } catch (e) {
        answer = `failed ${String(e && e.message ? e.message : e).replace(/\s+/g, " ")}\n`;
      }
      fs.unlinkSync(file);
      writeAtomically(path.join(dir, "answers", `${id}.txt`), answer);
    }
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}

main().catch((e) => fail(e && e.stack ? e.stack : String(e)));
