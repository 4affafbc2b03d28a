// Parses T-SQL batches with an independent grammar (antlr4ts-sql's T-SQL parser) and says of
// each whether it parses. The tests use it; nothing in the program does.
//
//   node judge.js FILE
//
// FILE holds the batches, each followed by a zero byte, read as bytes (latin1), so that any
// encoding of the script's strings and comments reaches the parser unchanged; a UTF-8 byte
// order mark that starts a batch (the file's) is no part of it. Prints one line per batch:
// "ok", or "error LINE:COLUMN MESSAGE" for the first syntax error.
'use strict';
const fs = require('fs');
const { antlr4tsSQL, SQLDialect } = require('antlr4ts-sql');

const sql = new antlr4tsSQL(SQLDialect.TSQL);

function firstError(batch) {
  let error = null;
  const listener = {
    syntaxError: (recognizer, symbol, line, column, message) => {
      if (error === null) error = `${line}:${column} ${message.slice(0, 200)}`;
    },
  };
  const parser = sql.getParser(sql.getTokens(batch, [listener]), [listener]);
  sql.getParseTree(parser);
  return error;
}

const batches = fs.readFileSync(process.argv[2], 'latin1').split('\0');
batches.pop();  // the text after the last zero byte
const byteOrderMark = '\xef\xbb\xbf';
for (const batch of batches) {
  const error = firstError(batch.startsWith(byteOrderMark) ? batch.slice(3) : batch);
  process.stdout.write(error === null ? 'ok\n' : `error ${error.replace(/\n/g, ' ')}\n`);
}
