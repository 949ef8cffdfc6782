CREATE TABLE t (id int -- key
IDENTITY (1, 1), f_2 int
, f_1 varchar(9))