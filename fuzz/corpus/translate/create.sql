CREATE TABLE [dbo].[fid_Main] ([id] [int] NOT NULL IDENTITY (1, 1),[f_1] varchar(20) NULL,[f_2] int NULL,[pic] image NULL,CONSTRAINT PK_fid_Main PRIMARY KEY CLUSTERED (id));
create table fid_user (username varchar(20), password varchar(32))
