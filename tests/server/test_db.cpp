#include <gtest/gtest.h>

#include "migrations.h"
#include "testdb.h"

namespace vlt::server {
namespace {

TEST(SqlScript, SplitsLikeTheCommandLineClient) {
  struct Case {
    const char* script;
    std::vector<std::string> statements;
  };
  const Case cases[] = {
      {"create table a (x int);\ninsert into a values (1);",
       {"create table a (x int)", "insert into a values (1)"}},
      {"-- a comment; with a semicolon\nselect 1;", {"select 1"}},
      {"insert into a values ('x;y'), ('it''s;');", {"insert into a values ('x;y'), ('it''s;')"}},
      {"DELIMITER $$\nCREATE TRIGGER t BEFORE INSERT ON a FOR EACH ROW BEGIN SET NEW.x = 1; END$$\n"
       "DELIMITER ;\nselect 2;",
       {"CREATE TRIGGER t BEFORE INSERT ON a FOR EACH ROW BEGIN SET NEW.x = 1; END", "select 2"}},
      {"/* block; comment */ select 3;", {"/* block; comment */ select 3"}},
      {"select `odd;name` from a", {"select `odd;name` from a"}},
      {"\n\n  ;;\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    EXPECT_EQ(splitSqlScript(c.script), c.statements);
  }
  EXPECT_THROW(splitSqlScript("select 'open"), Error);
}

class DbTest : public ::testing::Test {
 protected:
  test::ScratchDatabase scratch;
  std::unique_ptr<Connection> db = scratch.connect();
};

TEST_F(DbTest, QueriesBecomeTypedPackets) {
  db->execute(
      "CREATE TABLE t (id VARCHAR(15) PRIMARY KEY, n INT, s SMALLINT, big BIGINT, "
      "qty DECIMAL(13,4), amount DECIMAL(20,2), f DOUBLE, d DATE, dt DATETIME, tm TIME, "
      "note TEXT)");
  db->execute(
      "INSERT INTO t VALUES ('1', -5, 3, 100000000000001, 2.5, 23.40, 0.25, '2024-02-29', "
      "'2026-12-08 13:45:10', '08:30:00', '白砂糖 1kg'), "
      "('2', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
  Packet p = db->query("SELECT * FROM t ORDER BY id");
  ASSERT_EQ(p.fields.size(), 11u);
  const std::pair<const char*, DataType> types[] = {
      {"id", DataType::String}, {"n", DataType::Int32},     {"s", DataType::Int16},
      {"big", DataType::Int64}, {"qty", DataType::Decimal}, {"amount", DataType::Decimal},
      {"f", DataType::Float},   {"d", DataType::Date},      {"dt", DataType::DateTime},
      {"tm", DataType::Time},   {"note", DataType::String}};
  for (std::size_t i = 0; i < 11; ++i) {
    EXPECT_EQ(p.fields[i].name, types[i].first);
    EXPECT_EQ(p.fields[i].type, types[i].second) << types[i].first;
  }
  EXPECT_EQ(p.fields[0].size, 15);
  EXPECT_EQ(p.fields[4].precision, 13);
  EXPECT_EQ(p.fields[4].scale, 4);
  EXPECT_EQ(p.fields[5].precision, 20);
  ASSERT_EQ(p.rows.size(), 2u);
  const Row& r = p.rows[0];
  EXPECT_EQ(r[1], Value(std::int32_t{-5}));
  EXPECT_EQ(r[3], Value(std::int64_t{100000000000001}));
  EXPECT_EQ(r[4].decimal().toString(), "2.5000");
  EXPECT_EQ(r[7].date().toString(), "2024-02-29");
  EXPECT_EQ(r[8].dateTime().toString(), "2026-12-08 13:45:10");
  EXPECT_EQ(r[9].time().toString(), "08:30:00");
  EXPECT_EQ(r[10].string(), "白砂糖 1kg");
  for (std::size_t i = 1; i < p.rows[1].size(); ++i)
    EXPECT_TRUE(p.rows[1][i].isNull()) << i;
  EXPECT_NO_THROW(p.validate());
}

TEST_F(DbTest, QuotingIsCompleteAndServerErrorsPassThrough) {
  db->execute("CREATE TABLE t (name VARCHAR(40) PRIMARY KEY)");
  // A trailing backslash is an ordinary character: the doubled-quote literal stays closed.
  db->execute("INSERT INTO t VALUES ('back\\'), ('it''s')");
  EXPECT_EQ(db->scalar("SELECT COUNT(*) FROM t WHERE name IN ('back\\', 'it''s')"), "2");
  try {
    db->execute("INSERT INTO t VALUES ('it''s')");
    ADD_FAILURE() << "duplicate accepted";
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("Duplicate entry"), std::string::npos) << e.what();
    EXPECT_EQ(e.code(), 1062u);
  }
  // One statement per call: a second statement is a syntax error, not a second statement.
  EXPECT_THROW(db->execute("SELECT 1; DROP TABLE t"), DbError);
  EXPECT_TRUE(db->exists("SELECT 1 FROM t"));
  EXPECT_THROW(db->query("SELECT name FROM t", 1), DbError);
  EXPECT_TRUE(db->alive());  // still usable after the refusals
  EXPECT_EQ(db->query("SELECT name FROM t ORDER BY name").rows.size(), 2u);
}

// A lone statement that lost a deadlock after some of its rows (one that writes and returns rows
// commits at the end) was rolled back whole: it is sent again, a bounded number of times, and
// then reported. Attempts are counted by a sequence, which no rollback takes back.
TEST_F(DbTest, AStatementThatKeepsLosingAfterItsRowsIsSentAgainThenReported) {
  db->execute("CREATE SEQUENCE tries");
  db->execute("CREATE TABLE t (x INT PRIMARY KEY)");
  db->execute("INSERT INTO t VALUES (1), (2), (3)");
  db->execute(
      "CREATE FUNCTION loses(x INT) RETURNS INT NOT DETERMINISTIC BEGIN "
      "IF x = 3 THEN SET @n = NEXTVAL(tries); SIGNAL SQLSTATE '40001' SET MYSQL_ERRNO = 1213, "
      "MESSAGE_TEXT = 'Deadlock found'; END IF; RETURN x; END");
  try {
    db->query("SELECT x, loses(x) FROM t ORDER BY x");
    ADD_FAILURE() << "a lost deadlock reported as success";
  } catch (const DbError& e) {
    EXPECT_EQ(e.code(), 1213u);
  }
  EXPECT_EQ(db->scalar("SELECT NEXTVAL(tries) - 1"), "8");
  EXPECT_EQ(db->query("SELECT x FROM t").rows.size(), 3u);  // the connection still serves
}

TEST_F(DbTest, MigrationsApplyOnceInOrder) {
  std::vector<Migration> list{
      {1, "0001_a.sql", {"CREATE TABLE a (x INT)"}},
      {2, "0002_b.sql",
       splitSqlScript("DELIMITER $$\nCREATE TRIGGER a_bi BEFORE INSERT ON a FOR EACH ROW "
                      "BEGIN SET NEW.x = NEW.x * 10; END$$\nDELIMITER ;\n")}};
  EXPECT_EQ(applyMigrations(*db, list), 2);
  EXPECT_EQ(applyMigrations(*db, list), 0);
  db->execute("INSERT INTO a VALUES (4)");
  EXPECT_EQ(db->scalar("SELECT x FROM a"), "40");
  list.push_back({3, "0003_bad.sql", {"CREATE TABLE a (y INT)"}});
  try {
    applyMigrations(*db, list);
    ADD_FAILURE() << "bad migration accepted";
  } catch (const DbError& e) {
    EXPECT_NE(std::string(e.what()).find("0003_bad.sql, statement 1"), std::string::npos);
  }
  EXPECT_EQ(db->scalar("SELECT COUNT(*) FROM vlt_schema_version"), "2");
}

}  // namespace
}  // namespace vlt::server
